# Sourced by the tests that run zarvo on a display: the display session (tests/skin), and the
# program in a folder of its own laid out as an installation (bin/ with the libraries it loads
# beside share/quillon), so that its recordings land there.
#
#   make_app_tree BIN_DIR     sets $app; the program is $app/bin/zarvo
#   click_at X Y              a click at a point of the window $main, in its own pixels
#   click_in WINDOW X Y       the same in another window

source "$(cd "$(dirname "${BASH_SOURCE[0]}")/../skin" && pwd)/display_session.sh"

make_app_tree() {
    app="$session_dir/app"
    mkdir -p "$app/bin" "$app/share"
    cp "$1/zarvo" "$app/bin/"
    for lib in "$1"/*.so; do ln -s "$lib" "$app/bin/"; done
    ln -s "$1/../share/quillon" "$app/share/quillon"
    export XDG_CONFIG_HOME="$session_dir/config" QT_QPA_PLATFORM=xcb
}

click_in() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove $((X + $2)) $((Y + $3)) click "${4:-1}"
}

click_at() { click_in "$main" "$@"; }
