# Shell helpers shared by the tests that drive windows under a virtual X server. Sourced, not run.
#
#   x11_start SCRIPT ARGS    runs the script again, with "--inside" before its arguments, under
#                            a server of its own (its own display number, 1024x768)
#   x11_wait_server          waits until the server takes clients
#   x11_wait_window RE [T]   waits up to T tenths of a second (100 by default) for a visible
#                            window whose name matches the extended regular expression RE;
#                            prints the id of the newest one
#
# Use:
#   source "$(dirname "$0")/../support/x11.sh"
#   [ "${1:-}" = --inside ] || x11_start "$0" "$@"
#   shift
#   x11_wait_server

x11_start() { # script args...
    # Two servers started at once by "-a" alone may pick the same display number.
    exec xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1024x768x24" "$1" --inside "${@:2}"
}

# On a busy machine the server may take a moment to accept clients.
x11_wait_server() {
    local i
    for ((i = 0; i < 50; i++)); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    return 1
}

x11_wait_window() { # regex [tenths]
    local name=$1 tries=${2:-100} id i
    for ((i = 0; i < tries; i++)); do
        id=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | tail -1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}
