#!/usr/bin/env bash
# The Windows build under Wine on two monitors of different size and a DPI change, screenshots
# kept. The X display is one 2304x1024 screen carrying two RandR monitors (Wine sees them through
# Xinerama with its XRandR use turned off, in a prefix of its own): the primary 1280x1024 at 0,0
# and a 1024x768 one at 1280,256, whose area is neither the primary's nor starts at 0. Wine's
# desktop has no taskbar, so each work area is its monitor.
#
# Usage: screens-test.sh PROGRAM SCREEN_PROBE FIT_CHECKER SCREENSHOT_DIR
set -uo pipefail
program=$1
probe=$2
fit_checker=$3
shots=$4/windows
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../../.." && pwd)
work=$(mktemp -d)

# An X server of its own, not reset when its last client leaves (the monitors would go with it).
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 2304x1024x24 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
pid=
silent_pid=
trap '[ -n "$pid" ] && kill $pid 2>/dev/null; [ -n "$silent_pid" ] && kill $silent_pid 2>/dev/null
      WINEPREFIX=$root/build/wineprefix-screens wineserver -k 2>/dev/null
      kill $xvfb_pid 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
export DISPLAY=:$(head -1 "$work/display")
source "$root/tests/support/cases.sh"
source "$here/windows.sh"
mkdir -p "$shots"

export WINEPREFIX=$root/build/wineprefix-screens
export WINEDEBUG=-all
run=("$root/scripts/wine-run")
main_title='Orvelle, Orvelle+ Downloader'
settings_title="Налаштування з'єднання"
download=Завантажити

xrandr --setmonitor left 1280/338x1024/270+0+0 screen >/dev/null
xrandr --setmonitor right 1024/270x768/203+1280+256 none >/dev/null
"$root/scripts/wine-init" >/dev/null 2>&1
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
"${run[@]}" reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f >/dev/null 2>&1
wineserver -w 2>/dev/null

# Nothing the program does at start-up ends.
start_silent_update_server


# The window's rectangle as Windows sees it, frame included: "x y width height".
rect_of() {
    "${run[@]}" "$probe" window "$1" | tr -d '\r' |
        awk '/^window/ {split($2, p, ","); split($3, s, "x"); print p[1], p[2], s[1], s[2]}'
}
# Moves the main window's X window and waits until Windows has it at its new place.
move_main() {
    local before
    before=$(rect_of "$main_title")
    xdotool windowmove "$main" "$1" "$2"
    for _ in $(seq 1 40); do
        [ "$(rect_of "$main_title")" != "$before" ] && return 0
        sleep 0.25
    done
    return 1
}
start() {
    "${run[@]}" "$program" &
    pid=$!
    main=$(wait_window "^${main_title//+/\\+}\$") || return 1
    sleep 1.5
}
stop() {
    kill $pid 2>/dev/null
    wait $pid 2>/dev/null
    pid=
}
# Opens the settings window from its button; prints its rectangle.
open_settings() {
    "${run[@]}" "$probe" click "$main_title" "$settings_title" || return 1
    wait_window "^$settings_title\$" >/dev/null || return 1
    sleep 1
    rect_of "$settings_title"
}

monitors=$("${run[@]}" "$probe" monitors | tr -d '\r')
expected_monitors='monitor 0,0 1280x1024 work 0,0 1280x1024 primary
monitor 1280,256 1024x768 work 1280,256 1024x768'
if [ "$monitors" = "$expected_monitors" ]; then
    case_pass "Wine shows the two monitors"
else
    case_fail "Wine shows the two monitors" "$(echo $monitors)"
    cases_end
    exit
fi

# Centred over the main window in the middle of the second monitor; then the main window at
# 144 dpi and back (Wine sends no WM_DPICHANGED by itself, the probe sends what Windows would).
if start && move_main 1500 500; then
    read -r mx my mw mh < <(rect_of "$main_title")
    if settings=$(open_settings); then
        read -r sx sy sw sh <<<"$settings"
        expected="$((mx + (mw - sw) / 2)) $((my + (mh - sh) / 2)) $sw $sh"
        import -window root "$shots/second-monitor.png"
        if [ "$settings" = "$expected" ] && [ "$sy" -ge 256 ] && [ $((sx + sw)) -le 2304 ]; then
            case_pass "settings window centred over the main window on the second monitor"
        else
            case_fail "settings window centred over the main window on the second monitor" \
                "main $mx $my ${mw}x$mh, settings $settings, expected $expected"
        fi
    else
        case_fail "settings window centred over the main window on the second monitor" "no window"
    fi
    # Out of the way of the main window's picture.
    "${run[@]}" "$probe" click "$settings_title" Скасувати
    gone "^$settings_title\$" 10
    # The client area and the download button are the design ones scaled by 1.5 (rounded
    # half away from zero), the window stays where it was, no text is cut off.
    # (The frame's size is the system's: left out.)
    no_frame() { tr -d '\r' | sed 's/^\(window [^ ]*\) [^ ]* /\1 /'; }
    at144=$("${run[@]}" "$probe" dpi "$main_title" 144 "$download" | no_frame)
    sleep 1
    import -window "$main" "$shots/main-dpi-changed-144.png"
    "${run[@]}" "$fit_checker" 2>/dev/null |
        python3 "$here/clipped-texts.py" "$shots/main-dpi-changed-144.png" "$main_title"
    fits=$?
    at96=$("${run[@]}" "$probe" dpi "$main_title" 96 "$download" | no_frame)
    expected144="window $mx,$my client 738x159
child 600,119 126x38"
    expected96="window $mx,$my client 492x106
child 400,79 84x25"
    if [ "$at144" = "$expected144" ] && [ "$at96" = "$expected96" ] && [ $fits = 0 ]; then
        case_pass "a DPI change re-places the main window's controls"
    else
        case_fail "a DPI change re-places the main window's controls" \
            "$(echo at 144: $at144 / at 96: $at96)"
    fi
else
    case_fail "settings window centred over the main window on the second monitor" \
        "main window not started or not moved"
fi
stop

# The main window across the second monitor's right edge and above its top: the settings window
# goes to that monitor's top right corner, not onto the primary monitor, not above y 256.
if start && move_main 2100 270; then
    if settings=$(open_settings); then
        read -r sx sy sw sh <<<"$settings"
        import -window root "$shots/second-monitor-edge.png"
        if [ "$settings" = "$((2304 - sw)) 256 $sw $sh" ]; then
            case_pass "settings window kept inside the second monitor"
        else
            case_fail "settings window kept inside the second monitor" "settings $settings"
        fi
    else
        case_fail "settings window kept inside the second monitor" "no window"
    fi
else
    case_fail "settings window kept inside the second monitor" "main window not started or moved"
fi
stop
echo "screenshots in $shots"
cases_end
