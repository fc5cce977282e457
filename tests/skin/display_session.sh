# Sourced by the display tests: a private X display on a free number, the processes started
# for it stopped at exit, and waits for what appears on it. Every wait gives up after 10 s.
#
#   start_display WIDTHxHEIGHT     Xvfb on a free display; exports DISPLAY; skips (77) on failure
#   start_window_manager           openbox on it, waited for until it manages the screen
#   keep_pid PID                   stop PID at exit
#   wait_for_window TITLE          prints the id of the first visible window titled TITLE
#   skip WHY                       says why and exits 77

skip() {
    echo "skipped: $*"
    exit 77
}

session_dir=$(mktemp -d)
session_pids=()
keep_pid() { session_pids+=("$1"); }
end_session() {
    for pid in "${session_pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$session_dir"
}
trap end_session EXIT

start_display() {
    command -v Xvfb >/dev/null || skip "Xvfb is not installed"
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$session_dir/display" \
        2>"$session_dir/xvfb.log" &
    keep_pid $!
    for _ in $(seq 100); do [ -s "$session_dir/display" ] && break; sleep 0.1; done
    [ -s "$session_dir/display" ] || skip "Xvfb did not start: $(cat "$session_dir/xvfb.log")"
    export DISPLAY=":$(cat "$session_dir/display")"
}

wait_for_window() {
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

start_window_manager() {
    command -v openbox >/dev/null || skip "openbox is not installed"
    openbox --sm-disable >"$session_dir/wm.log" 2>&1 &
    keep_pid $!
    # A window mapped before the window manager has taken over stays unmanaged.
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
        sleep 0.1
    done
}
