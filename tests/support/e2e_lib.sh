# Shared pieces of the whole-program tests: a private Xvfb display, the program copied into a fresh folder, and
# waiting for windows and records as a person would. Source it from a test script after `set -euo pipefail`:
#   . "$(dirname "$0")/../../tests/support/e2e_lib.sh"
#   e2e_require Xvfb xdotool sqlite3      # exits 77 (skipped) when a tool is missing
#   e2e_start_display                     # exports DISPLAY
#   e2e_start_program /path/to/telvane    # copies it into $work and starts it; its pid is $app
# Windows are looked up by title; clean-up (program, display, folder) runs on exit.

E2E_SUPPORT=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
work=${E2E_WORK:-$(mktemp -d)}
app=
xvfb=
e2e_extra_cleanup() { :; }
e2e_cleanup() {
    e2e_extra_cleanup || true
    [ -z "${app:-}" ] || kill "$app" 2>/dev/null || true
    [ -z "${xvfb:-}" ] || { kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null; } || true
    # A helper the test started (an input method's engine) may still be writing its files for a moment after it
    # was asked to quit: try again, and never let the clean-up decide the test.
    if [ -z "${E2E_WORK:-}" ]; then
        for _ in 1 2 3 4 5; do
            rm -rf "$work" 2>/dev/null && break
            sleep 0.5
        done
    fi
    return 0
}
trap e2e_cleanup EXIT

e2e_require() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
    done
}

fail() {
    echo "FAIL: $*"
    [ ! -f "$work/app.log" ] || cat "$work/app.log"
    exit 1
}

# Xvfb picks a free display itself and writes its number; -noreset keeps it from restarting (and refusing
# connections for a moment) each time its last client leaves.
e2e_start_display() {
    Xvfb -displayfd 3 -screen 0 "${E2E_SCREEN:-1024x768x24}" -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
    export DISPLAY=":$(head -1 "$work/display")"
    for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
}

# Copies the program into the test folder (DHB.EDB lives beside it) and starts it; its pid is in $app.
e2e_start_program() {
    [ "$(readlink -f "$1")" = "$(readlink -f "$work/telvane")" ] || cp "$(readlink -f "$1")" "$work/telvane"
    "$work/telvane" >>"$work/app.log" 2>&1 &
    app=$!
}

# Waits for a window with the given title and prints its id. (xdotool's own --sync stops with an X error when
# another window disappears while it looks.)
wait_window() {
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --name "$1" 2>/dev/null | head -1) && [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    return 1
}

# Waits until no window has the given title.
wait_no_window() {
    for _ in $(seq 100); do
        xdotool search --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.2
    done
    return 1
}

# Asks a window to close as a window manager's close button does.
close_window() {
    python3 "$E2E_SUPPORT/x11_close.py" "$1"
}

# Closes the list editor with Ctrl+Q, as a user would; the key goes to the focused window, so focus it first and
# try again while a slow build is still bringing the window up.
close_editor() {
    local editor
    editor=$(wait_window 'Telvane-列表修改器') || fail "the list editor did not open"
    for _ in $(seq 10); do
        xdotool windowactivate --sync "$editor" 2>/dev/null || xdotool windowfocus --sync "$editor" 2>/dev/null || true
        xdotool key ctrl+q
        for _ in $(seq 15); do
            xdotool search --name 'Telvane-列表修改器' >/dev/null 2>&1 || return 0
            sleep 0.2
        done
    done
    fail "Ctrl+Q did not close the list editor"
}

# Waits until the store beside the program holds the given number of records.
wait_count() {
    for _ in $(seq 100); do
        [ "$(sqlite3 "$work/DHB.EDB" 'SELECT count(*) FROM directory' 2>/dev/null)" = "$1" ] && return 0
        sleep 0.2
    done
    return 1
}

# Waits for the program to end and checks that it ended with exit code 0.
e2e_expect_exit_0() {
    for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$app" 2>/dev/null; then fail "the program did not end"; fi
    local code
    set +e
    wait "$app"
    code=$?
    set -e
    app=
    [ "$code" = 0 ] || fail "exit code $code"
}

keys() { xdotool key --delay 60 "$@"; sleep 0.3; }
