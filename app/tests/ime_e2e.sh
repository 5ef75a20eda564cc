#!/usr/bin/env bash
# Chinese typed through a real input method: ibus with its pinyin engine under a virtual X display. Typing
# zhangsan and Space in 查询框 commits two characters with no key release of their own; the rows must show the
# person with that name at once. Which of the same-sounding names the engine offers first (张三, 章三) depends on
# its own data, so the store holds both and the test reads back what was committed.
# Usage: ime_e2e.sh /path/to/telvane /path/to/telvane-cli
set -euo pipefail
. "$(dirname "$(readlink -f "$0")")/../../tests/support/e2e_lib.sh"
e2e_require Xvfb xdotool dbus-launch ibus-daemon ibus
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi is not installed"; exit 77; }
[ -e /usr/libexec/ibus-engine-libpinyin ] || { echo "SKIP: ibus-libpinyin is not installed"; exit 77; }

printf '李四\n张三\n王五\n章三\n张伟\n' | "$2" import "$work/DHB.EDB" >/dev/null || fail "the store was not made"
e2e_start_display
eval "$(dbus-launch --sh-syntax)"
e2e_extra_cleanup() { ibus exit 2>/dev/null; kill "$DBUS_SESSION_BUS_PID" 2>/dev/null; }
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
ibus-daemon --xim --daemonize --replace --panel=disable
for _ in $(seq 100); do ibus engine libpinyin 2>/dev/null && break; sleep 0.2; done
[ "$(ibus engine 2>/dev/null)" = libpinyin ] || fail "the pinyin engine did not start"
export QT_IM_MODULE=ibus QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
e2e_start_program "$1"
wid=$(wait_window 'Quorvel v1.4') || fail "the Main window did not appear"
xdotool windowfocus --sync "$wid" 2>/dev/null || true
sleep 1

# The store has records, so the program starts in Query mode with the focus in 查询框.
xdotool type --delay 120 zhangsan
sleep 0.5
xdotool key space
sleep 1
/usr/bin/python3 "$E2E_SUPPORT/atspi_names.py" --text telvane >"$work/texts" || fail "no accessibility tree"
line() { grep -m1 "^Quorvel v1.4|$1" "$work/texts" | cut -d'|' -f$2-; }
query=$(line 'text|智能查询输入|' 4)
case "$query" in
    张三 | 章三) ;;
    *) cat "$work/texts"; fail "the input method committed '$query' instead of a name read zhang san" ;;
esac
[ "$(line 'text|姓名|' 4)" = "$query" ] || { cat "$work/texts"; fail "the rows do not show $query"; }
grep -qx "Quorvel v1.4|label|1条" "$work/texts" || { cat "$work/texts"; fail "the count is not 1条"; }
echo "PASS: $query committed by the input method and found"
