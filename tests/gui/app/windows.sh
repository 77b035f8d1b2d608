# Sourced by the window tests: finding the program's windows on the X display, pressing keys in
# them, reading a message box, and an update server that accepts and never answers (a run stays
# in its first transfer, start-up never ends early).

# Waits up to $2 seconds (60) for a visible window whose name matches the regex $1; prints its id.
wait_window() {
    local pattern=$1 seconds=${2:-60} id
    for _ in $(seq 1 $((seconds * 4))); do
        id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.25
    done
    return 1
}

# Waits up to $2 seconds (5) until no visible window's name matches the regex $1.
gone() {
    local pattern=$1 seconds=${2:-5}
    for _ in $(seq 1 $((seconds * 4))); do
        [ -z "$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null)" ] && return 0
        sleep 0.25
    done
    return 1
}

# Keys as typed on the keyboard, into the window given the focus first.
press() {
    timeout 5 xdotool windowfocus "$1" 2>/dev/null
    sleep 0.3
    timeout 5 xdotool key "${@:2}"
    sleep 0.3
}

# The text of the message box $1 (caption: the application title). Needs $target, $root and,
# for the Windows build, $box_reader (message-box-text.exe); Linux boxes are copied with Ctrl+C.
box_text() {
    if [ "$target" = windows ]; then
        "$root/scripts/wine-run" "$box_reader" "Orvelle Downloader" 2>/dev/null
        return
    fi
    # xclip stays behind to own the selection: it must not hold this function's output open.
    printf 'nothing' | xclip -selection clipboard >/dev/null 2>&1
    press "$1" ctrl+c
    sleep 1
    timeout 5 xclip -o -selection clipboard -t UTF8_STRING 2>/dev/null
}

# Starts the silent update server, sets silent_pid and points the program at it.
start_silent_update_server() {
    coproc SILENT { exec python3 -c 'import socket, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8)
print(s.getsockname()[1], flush=True); time.sleep(600)'; }
    silent_pid=$SILENT_PID
    local port
    read -r port <&"${SILENT[0]}"
    export ORVELLE_UPDATE_HOST=127.0.0.1:$port no_proxy=127.0.0.1 NO_PROXY=127.0.0.1
}
