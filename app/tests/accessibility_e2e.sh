#!/usr/bin/env bash
# What a screen reader user hears: the real program runs with the accessibility bus on, and the names of its
# buttons, boxes and grid are read back over AT-SPI for the Main window, the help window, the import window and
# the list editor.
# Usage: accessibility_e2e.sh /path/to/telvane
set -euo pipefail
. "$(dirname "$(readlink -f "$0")")/../../tests/support/e2e_lib.sh"
e2e_require Xvfb xdotool dbus-launch
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi is not installed"; exit 77; }
e2e_start_display
eval "$(dbus-launch --sh-syntax)"
e2e_extra_cleanup() { kill "$DBUS_SESSION_BUS_PID" 2>/dev/null; }
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
e2e_start_program "$1"
wid=$(wait_window 'Quorvel v1.4') || fail "the Main window did not appear"
sleep 1

names() { /usr/bin/python3 "$E2E_SUPPORT/atspi_names.py" telvane "${1:-1}" >"$work/names" || fail "no accessibility tree"; }
expect() {
    local line
    for line in "$@"; do
        grep -qxF "$line" "$work/names" || { cat "$work/names"; fail "a screen reader does not find: $line"; }
    done
}
# No control is nameless.
all_named() { ! grep -E '\|$' "$work/names" || fail "controls without a name (above)"; }
click() { xdotool mousemove $((50 + $1)) $((50 + $2)) click 1; sleep 0.5; }

names
main='Quorvel v1.4'
for b in 导入 帮助 关闭 查询 增加 修改 存盘 上一页 下一页; do expect "$main|button|$b"; done
for t in 姓名 手机 宅电 单位 工作电话 备注 小灵通; do expect "$main|text|$t"; done
# The first run is in Entry mode, where the query box shows the record count under its caption.
expect "$main|text|总记录数"
all_named

# The help window, titled like its owner.
click 360 17
names 2
grep -c "^$main|button|关闭$" "$work/names" | grep -qx 2 || { cat "$work/names"; fail "the help window's close button"; }
click 414 16

# The import window: seven boxes named by their captions, the two-line buttons by their words.
click 332 17
wait_window '批量导入Excel内容' >/dev/null || fail "the import window did not open"
names 2
for t in 姓名 单位名 备注 办公电话 家庭电话 手机 小灵通; do expect "批量导入Excel内容|text|$t"; done
for b in 整理数据 导入数据; do expect "批量导入Excel内容|button|$b"; done
all_named
# 整理按钮 says what it shows after tidying too.
click 40 120
xdotool type --delay 80 'x'
click 709 20
names 2
expect "批量导入Excel内容|button|重新输入"
close_window "$(wait_window '批量导入Excel内容')"
wait_no_window '批量导入Excel内容' || fail "the import window did not close"

# The list editor's grid.
click 380 105
wait_window 'Telvane-列表修改器' >/dev/null || fail "the list editor did not open"
names 2
expect "Telvane-列表修改器|table|电话簿记录"
echo "screen reader names ok"
