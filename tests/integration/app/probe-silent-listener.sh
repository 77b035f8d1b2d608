#!/usr/bin/env bash
# Start-up against a listener on 127.0.0.1:3307 that accepts connections and never says a word:
# the probe's bounded waits must let the main window appear within a few seconds. Reports how
# long the window took from the program's start; fails when it is not there within 15 s. The
# listener lives in a private network namespace, so the real MariaDB on this machine's 3307 does
# not interfere (Wine then gets a prefix, and a wineserver, of its own there).
#
# Usage: probe-silent-listener.sh linux|windows PROGRAM
set -uo pipefail
target=$1
program=$(realpath "$2")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../../.." && pwd)
limit=15

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s '-noreset -screen 0 1024x768x24' "$0" "$@"
fi
for tool in xdotool unshare python3; do
    command -v $tool >/dev/null || { echo "missing $tool"; exit 1; }
done
runner=()
if [ "$target" = windows ]; then
    runner=("$root/scripts/wine-run")
    export WINEPREFIX=$root/build/wineprefix-netns
fi
main_title='^Orvelle, Orvelle\+ Downloader$'
started=$(mktemp)
rm -f "$started"

unshare -rn bash -c '
    ip link set lo up || exit 90
    if [ -n "${WINEPREFIX:-}" ]; then "$1/scripts/wine-init"; fi
    python3 -c "
import socket
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind((\"127.0.0.1\", 3307))
listener.listen(8)
held = []
while True:
    held.append(listener.accept()[0])  # accepted, and never answered
" &
    for _ in $(seq 1 40); do (echo >/dev/tcp/127.0.0.1/3307) 2>/dev/null && break; sleep 0.1; done
    trap "kill \$(jobs -p) 2>/dev/null; wineserver -k 2>/dev/null; exit 0" TERM
    date +%s.%N >"$2"
    shift 2
    "$@" &
    wait' silent "$root" "$started" "${runner[@]}" "$program" &
namespace=$!

# Wine may first set up its prefix: the clock starts when the program does.
for _ in $(seq 1 600); do
    [ -s "$started" ] && break
    sleep 0.2
done
found=""
if [ -s "$started" ]; then
    deadline=$(python3 -c "print($(cat "$started") + $limit)")
    while python3 -c "import sys, time; sys.exit(time.time() > $deadline)"; do
        found=$(xdotool search --onlyvisible --name "$main_title" 2>/dev/null | head -1)
        [ -n "$found" ] && break
        sleep 0.1
    done
fi
if [ -n "$found" ]; then
    seconds=$(python3 -c "import time; print(f'{time.time() - $(cat "$started"):.1f}')")
fi
kill "$namespace" 2>/dev/null
wait "$namespace" 2>/dev/null
rm -f "$started"
source "$root/tests/support/cases.sh"
if [ -n "$found" ]; then
    echo "the main window came after ${seconds} s"
    case_pass "main window within $limit s with a silent listener on 127.0.0.1:3307"
else
    case_fail "main window within $limit s with a silent listener on 127.0.0.1:3307" "not found"
fi
cases_end
