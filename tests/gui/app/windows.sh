# Sourced by the window tests: finding the program's windows on the X display, and an update
# server that accepts and never answers (a run stays in its first transfer, start-up never ends
# early).

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
