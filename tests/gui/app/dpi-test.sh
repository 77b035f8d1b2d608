#!/usr/bin/env bash
# The two windows at 96 and 144 dpi, screenshots kept: the Windows build under Wine with its
# LogPixels setting (a prefix of its own, so that other tests keep 96 dpi), the Linux build with
# Qt's scale factor. At 144 dpi every design size grows by half: the main window's client area
# 492x106 becomes 738x159 and the settings window's 273x293 becomes 410x440. On Windows no check
# box or radio button text may be cut off at either scale (FIT_CHECKER lists their places).
#
# Usage: dpi-test.sh linux|windows PROGRAM SCREENSHOT_DIR [FIT_CHECKER]
set -uo pipefail
target=$1
program=$2
shots=$3/$target
fit_checker=${4:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../../.." && pwd)

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s '-noreset -screen 0 1280x1024x24' "$0" "$@"
fi
mkdir -p "$shots"
source "$root/tests/support/cases.sh"
check() {
    if [ "$1" = "$2" ]; then case_pass "$3"; else case_fail "$3" "got $1, expected $2"; fi
}

source "$here/windows.sh"
size_of() { xdotool getwindowgeometry "$1" | awk '/Geometry/ {print $2}'; }

runner=()
if [ "$target" = windows ]; then
    export WINEPREFIX=$root/build/wineprefix-dpi
    export WINEDEBUG=-all
    "$root/scripts/wine-init" >/dev/null 2>&1
    runner=("$root/scripts/wine-run")
fi

# A run stays in its first transfer, so the running window (progress bar, stop button) can be seen.
start_silent_update_server

pid=
trap '[ -n "$pid" ] && kill $pid 2>/dev/null; kill $silent_pid 2>/dev/null; wait 2>/dev/null' EXIT

for dpi in 96 144; do
    if [ "$target" = windows ]; then
        "${runner[@]}" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $dpi /f \
            >/dev/null 2>&1
        wineserver -w 2>/dev/null
        "${runner[@]}" "$program" &
    else
        QT_SCALE_FACTOR=$(awk "BEGIN {print $dpi / 96}") "$program" &
    fi
    pid=$!
    main=$(wait_window '^Orvelle, Orvelle\+ Downloader$' 90) || { case_fail "main window at $dpi dpi" "no window"; cases_end; exit 1; }
    sleep 1.5
    import -window "$main" "$shots/main-${dpi}dpi.png"
    if [ $dpi = 96 ]; then
        check "$(size_of "$main")" 492x106 "main window at 96 dpi"
    else
        check "$(size_of "$main")" 738x159 "main window at 144 dpi"
    fi
    # The settings button, at its scaled place.
    xdotool mousemove --window "$main" $((470 * dpi / 96)) $((20 * dpi / 96)) click 1
    if settings=$(wait_window "^Налаштування з'єднання$" 90); then
        sleep 1.5
        # Manual mode shows the port field enabled, with its arrows.
        xdotool mousemove --window "$settings" $((30 * dpi / 96)) $((65 * dpi / 96)) click 1
        sleep 1
        import -window "$settings" "$shots/settings-${dpi}dpi.png"
        if [ -n "$fit_checker" ]; then
            controls=$("${runner[@]}" "$fit_checker" 2>/dev/null)
            python3 "$here/clipped-texts.py" "$shots/main-${dpi}dpi.png" \
                'Orvelle, Orvelle+ Downloader' <<<"$controls"
            check $? 0 "the main window's texts fit at $dpi dpi"
            python3 "$here/clipped-texts.py" "$shots/settings-${dpi}dpi.png" \
                "Налаштування з'єднання" <<<"$controls"
            check $? 0 "the settings window's texts fit at $dpi dpi"
        fi
        if [ $dpi = 96 ]; then
            check "$(size_of "$settings")" 273x293 "settings window at 96 dpi"
        else
            check "$(size_of "$settings")" 410x440 "settings window at 144 dpi"
        fi
        xdotool mousemove --window "$settings" $((146 * dpi / 96)) $((272 * dpi / 96)) click 1
        sleep 1
    else
        case_fail "settings window at $dpi dpi" "it did not open"
    fi
    # The running window: the progress bar across the top, the stop button.
    xdotool mousemove --window "$main" $((442 * dpi / 96)) $((91 * dpi / 96)) click 1
    sleep 2
    import -window "$main" "$shots/main-running-${dpi}dpi.png"
    kill $pid 2>/dev/null
    wait $pid 2>/dev/null
    pid=
done
if [ "$target" = windows ]; then
    "${runner[@]}" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f \
        >/dev/null 2>&1
    wineserver -k 2>/dev/null
fi
echo "screenshots in $shots"
cases_end
