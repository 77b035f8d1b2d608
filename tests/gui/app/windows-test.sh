#!/usr/bin/env bash
# The two windows as a person uses them, on a real X display (Xvfb): the idle main window, a
# resize attempt, the settings window opened from its button, manual mode with an empty address,
# Cancel, and the start-up refusal of an unsupported MySQL server (a fake one on 3307 in a
# private network namespace, so that a real server on this machine does not interfere).
#
# Usage: windows-test.sh linux|windows PROGRAM SCREENSHOT_DIR [MESSAGE_BOX_READER]
# Screenshots are kept in SCREENSHOT_DIR/<target>/. The Windows build needs the reader program
# (message-box-text.exe); Linux message boxes are copied with Ctrl+C.
set -uo pipefail
target=$1
program=$2
shots=$3/$target
box_reader=${4:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../../.." && pwd)

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s '-noreset -screen 0 1024x768x24' "$0" "$@"
fi
for tool in xdotool xclip import compare unshare; do
    command -v $tool >/dev/null || { echo "missing $tool"; exit 1; }
done
mkdir -p "$shots"

source "$root/tests/support/cases.sh"
fail() { case_fail "$*"; }
pass() { case_pass "$*"; }

main_title='^Orvelle, Orvelle\+ Downloader$'
settings_title="^Налаштування з'єднання$"
box_title='^Orvelle Downloader$'

source "$(dirname "${BASH_SOURCE[0]}")/windows.sh"

size_of() { xdotool getwindowgeometry "$1" | awk '/Geometry/ {print $2}'; }

# Lets the window paint, then keeps its picture.
shot() {
    sleep 1
    import -window "$1" "$shots/$2.png" && echo "screenshot $shots/$2.png"
}

# How many pixels differ between the same part (GEOMETRY, e.g. 138x21+63+126) of two kept
# screenshots; fails, saying why, when a picture is missing or the comparison itself fails, so
# that an error never reads as a difference.
differing_pixels() {
    local first=$shots/crop-$1.png second=$shots/crop-$2.png count
    convert "$shots/$1.png" -crop "$3" +repage "$first" 2>&1 &&
        convert "$shots/$2.png" -crop "$3" +repage "$second" 2>&1 || return 1
    count=$(compare -metric AE "$first" "$second" null: 2>&1)
    [ $? -le 1 ] && [[ "$count" =~ ^[0-9.e+]+$ ]] && echo "$count" && return 0
    echo "comparison failed: $count"
    return 1
}

click() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.5; }

runner=()
[ "$target" = windows ] && runner=("$root/scripts/wine-run")

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
}
trap cleanup EXIT

# ---- the idle main window, resizing, the settings window ----------------------------------------
"${runner[@]}" "$program" &
pids+=($!)
main=$(wait_window "$main_title" 90) || { fail "main window did not appear"; cases_end; exit 1; }
sleep 1
shot "$main" main-idle
[ "$(size_of "$main")" = 492x106 ] && pass "main window client 492x106" ||
    fail "main window size $(size_of "$main")"

xdotool windowsize "$main" 640 300
sleep 1.5
[ "$(size_of "$main")" = 492x106 ] && pass "resize refused" ||
    fail "main window resized to $(size_of "$main")"

# The keyboard in the proxy-mode group, as in a dialog: the settings window opens with the
# focus on the checked item (system settings); Down picks manual mode and Tab leaves the group
# for the address field. Cancel then restores the stored values.
click "$main" 470 20
if settings=$(wait_window "$settings_title" 20); then
    sleep 1
    press "$settings" Down
    shot "$settings" settings-keyboard-down
    press "$settings" Tab
    timeout 5 xdotool type --delay 50 "kb"
    shot "$settings" settings-keyboard-tab
    if difference=$(differing_pixels settings-keyboard-down settings-keyboard-tab 138x21+63+126) &&
        [ "$difference" != 0 ]; then
        pass "Tab leads from the group to the address field"
    else
        fail "typing after Tab did not reach the address field ($difference)"
    fi
    click "$settings" 146 272
    gone "$settings_title" || fail "Cancel left the settings open"
else
    fail "settings did not open for the keyboard"
fi

click "$main" 470 20  # the settings button
settings=$(wait_window "$settings_title" 20) || fail "settings window did not open"
if [ -n "${settings:-}" ]; then
    shot "$settings" settings-open
    [ "$(size_of "$settings")" = 273x293 ] && pass "settings client 273x293" ||
        fail "settings size $(size_of "$settings")"

    # Manual mode (third item) with an empty address, then OK.
    click "$settings" 30 65
    shot "$settings" settings-manual
    # The keyboard's choice looks exactly like the click's (the manual group enabled, empty).
    difference=$(differing_pixels settings-manual settings-keyboard-down 257x151+8+103)
    [ "$difference" = 0 ] && pass "Down picks the next mode" ||
        fail "manual group after Down differs from the clicked one ($difference pixels)"

    # The port field's arrows: up, down, up again. The digits differ between up and down and
    # are the same after both ups (3129, 3128, 3129).
    # The digits only: not the caret behind them (Qt) nor the frame; Wine's font is wider.
    digits_width=24
    [ "$target" = windows ] && digits_width=34
    click "$settings" 114 158
    shot "$settings" settings-port-up
    click "$settings" 114 170
    shot "$settings" settings-port-down
    click "$settings" 114 158
    shot "$settings" settings-port-up-again
    digits=${digits_width}x14+66+157
    if difference=$(differing_pixels settings-port-up settings-port-down $digits) &&
        [ "$difference" != 0 ]; then
        pass "the arrows change the port"
    else
        fail "the port field's arrows changed nothing ($difference)"
    fi
    difference=$(differing_pixels settings-port-up settings-port-up-again $digits)
    [ "$difference" = 0 ] && pass "up after down gives the same port again" ||
        fail "the port differs after up, down, up ($difference pixels)"
    click "$settings" 227 272
    if box=$(wait_window "$box_title" 20); then
        shot "$box" settings-empty-address
        text=$(box_text "$box")
        if grep -q "Не вказана адреса проксі сервера!" <<<"$text"; then
            pass "empty address message"
        else
            fail "message box text: $text"
        fi
        press "$box" Return
        gone "$box_title" || fail "message box stayed"
        [ -n "$(xdotool search --onlyvisible --name "$settings_title")" ] &&
            pass "settings window stays open" || fail "settings window closed"
    else
        fail "no message for manual mode with an empty address"
    fi

    # Type an address, then Cancel: reopening shows the stored values (mode 1, group disabled).
    click "$settings" 90 136
    xdotool type --delay 50 "proxy.test"
    click "$settings" 146 272  # Скасувати
    gone "$settings_title" && pass "Cancel closes the settings" || fail "Cancel left it open"
    click "$main" 470 20
    if settings=$(wait_window "$settings_title" 20); then
        shot "$settings" settings-reopened
        # The manual group looks as it did when first opened: disabled and empty.
        difference=$(differing_pixels settings-open settings-reopened 257x151+8+103)
        [ "$difference" = 0 ] && pass "Cancel restores the stored values" ||
            fail "manual group differs after Cancel ($difference pixels)"
        click "$settings" 146 272
    else
        fail "settings did not reopen"
    fi

fi
kill "${pids[0]}" 2>/dev/null
wait "${pids[0]}" 2>/dev/null
gone "$main_title" || true

# ---- the probe's refusal ------------------------------------------------------------------------
# A private network namespace with only loopback: the fake server owns 3307 there. Wine opens
# sockets in its wineserver, so the Windows build gets a prefix (and a server) of its own there.
if [ "$target" = windows ]; then
    export WINEPREFIX=$root/build/wineprefix-netns
fi
unshare -rn bash -c '
    ip link set lo up || exit 90
    if [ -n "${WINEPREFIX:-}" ]; then "$(dirname "$2")/wine-init"; fi
    python3 "$1" 8.0.36 >/dev/null &
    for _ in $(seq 1 40); do (echo >/dev/tcp/127.0.0.1/3307) 2>/dev/null && break; sleep 0.1; done
    shift
    "$@"
    code=$?
    kill %1
    exit $code' refusal "$here/fake-mysql-server.py" "${runner[@]}" "$program" &
refusal=$!
pids+=($refusal)
if box=$(wait_window "$box_title" 90); then
    shot "$box" probe-refusal
    text=$(box_text "$box")
    if grep -q "MySQL 8.0.36 не підтримується!" <<<"$text" &&
        grep -q "Встановіть версію 5.0 та вище" <<<"$text"; then
        pass "refusal message"
    else
        fail "refusal text: $text"
    fi
    [ -z "$(xdotool search --onlyvisible --name "$main_title")" ] &&
        pass "main window never shown" || fail "main window shown despite the refusal"
    press "$box" Return
    wait $refusal
    code=$?
    [ $code = 0 ] && pass "exit code 0" || fail "exit code $code"
else
    fail "no refusal message"
fi

cases_end
