#!/usr/bin/env bash
# The real program on a bare X display: a refusal at start-up stands on its own, and the notification-area icon
# appears when a tray starts after the program and brings the hidden Main window back when clicked, as the same
# native window and not left on top.
# Usage: desktop_e2e.sh /path/to/telvane
set -euo pipefail
. "$(dirname "$(readlink -f "$0")")/../../tests/support/e2e_lib.sh"
e2e_require Xvfb xdotool xwininfo xprop trayer
e2e_extra_cleanup() { [ -z "${tray:-}" ] || kill "$tray" 2>/dev/null || true; }
e2e_start_display

# A DHB.EDB that is no store: the message alone, no Main window behind it; dismissed, the program ends with 0.
printf 'name,phone\n' >"$work/DHB.EDB"
e2e_start_program "$1"
message=$(wait_window '无法打开电话簿数据库') || fail "no refusal message"
xdotool search --name 'Quorvel v1.4' >/dev/null 2>&1 && fail "a Main window stands behind the refusal"
xdotool windowactivate --sync "$message" 2>/dev/null || xdotool windowfocus --sync "$message" 2>/dev/null || true
keys Return
e2e_expect_exit_0
[ "$(cat "$work/DHB.EDB")" = 'name,phone' ] || fail "the refused file was changed"
rm "$work/DHB.EDB"

# No tray yet: the program starts anyway; the icon comes when a tray does.
e2e_start_program "$work/telvane"
wid=$(wait_window 'Quorvel v1.4') || fail "the Main window did not appear"
icons() { xwininfo -root -tree | grep -c '"telvane": ("telvane" "telvane")  [0-9]*x[0-9]*' || true; }
[ "$(icons)" = 0 ] || fail "a tray icon window exists without a tray"
trayer --edge bottom --align right >/dev/null 2>&1 &
tray=$!
for _ in $(seq 50); do [ "$(icons)" = 1 ] && break; sleep 0.2; done
[ "$(icons)" = 1 ] || fail "the icon did not appear when the tray started"
icon=$(xwininfo -root -tree | grep '"telvane": ("telvane" "telvane")' | awk '{print $1}')

# Hidden, then one click on the icon: the Main window is back.
xdotool windowunmap --sync "$wid"
xdotool search --onlyvisible --name 'Quorvel v1.4' >/dev/null 2>&1 && fail "the window did not hide"
xdotool mousemove --window "$icon" 5 5 click 1
for _ in $(seq 50); do xdotool search --onlyvisible --name 'Quorvel v1.4' >/dev/null 2>&1 && break; sleep 0.2; done
xdotool search --onlyvisible --name 'Quorvel v1.4' >/dev/null 2>&1 || fail "a click on the icon did not bring the window back"
# The same native window (no new one that a task bar would list anew), not left always on top.
[ "$(xdotool search --name 'Quorvel v1.4')" = "$wid" ] || fail "the window was made anew: $wid became $(xdotool search --name 'Quorvel v1.4' | tr "\n" " ")"
xprop -id "$wid" _NET_WM_STATE | grep -q ABOVE && fail "the window was left always on top: $(xprop -id "$wid" _NET_WM_STATE)"

xdotool mousemove 438 67 click 1 # 关闭按钮
e2e_expect_exit_0
echo "PASS: the refusal stands alone; the tray icon comes with a late tray and brings the window back"
