#!/usr/bin/env bash
# A block of spreadsheet cells pasted into the real program's import window, as a spreadsheet puts it on the
# clipboard: tab-separated, a cell with a line break or a quote in double quotes with its quotes doubled, rows ending
# in CR LF and the last one without a line break, one column more than the window has boxes. The block goes into
# 编辑框1 with Ctrl+V, is tidied and imported; then every field of DHB.EDB must be on the record of its row.
# Usage: paste_e2e_test.sh /path/to/telvane
set -euo pipefail
. "$(dirname "$(readlink -f "$0")")/../../tests/support/e2e_lib.sh"
e2e_require Xvfb xdotool sqlite3 xclip
e2e_start_display
e2e_start_program "$1"
clip=
e2e_extra_cleanup() { [ -z "$clip" ] || kill "$clip" 2>/dev/null || true; }

# Clicks at a point of a window standing at 50,50 on the screen (the Main window and the import window both do).
click() { xdotool mousemove $((50 + $1)) $((50 + $2)) click 1; sleep 0.4; }

wait_window 'Quorvel v1.4' >/dev/null || fail "the Main window did not appear"
click 332 17
importwin=$(wait_window '批量导入Excel内容') || fail "the import window did not open"
sleep 1

# 姓名 单位 备注 办公 家里 手机 小灵通, and an eighth column the window has no box for.
block=$'张三\t北京电力公司\t"第一行\n第二行"\t010-88888888\t\t13900000001\t0571-1234567\t多余\r\n'
block+=$'"李""四"\t上海电力\t"他说""好"""\t０１０－８８８８\t021-5555\t13900000002\t\t多余\r\n'
block+=$'王五\t"广州\r\n分公司"\t备注三\t\t\t13900000003\t0571-7654321\t多余'
printf '%s' "$block" | xclip -quiet -selection clipboard -t 'text/plain;charset=utf-8' >/dev/null 2>&1 &
clip=$!
sleep 0.5

click 40 120
keys ctrl+v
click 709 20
click 763 20
wait_count 3 || fail "expected three records after the import"
close_window "$importwin"
close_editor
click 388 17
e2e_expect_exit_0

rows=$(sqlite3 -separator '|' "$work/DHB.EDB" 'SELECT 姓名, 单位, 备注, 办公, 家里, 手机, 小灵通 FROM directory ORDER BY id')
expected='张三|北京电力公司|第一行 第二行|010-88888888||13900000001|0571-1234567
李四|上海电力|他说"好"|010-8888|021-5555|13900000002|
王五|广州分公司|备注三|||13900000003|0571-7654321'
[ "$rows" = "$expected" ] || fail "stored rows are
$rows
expected
$expected"
echo "PASS: a spreadsheet block pasted into one box landed on the right records"
