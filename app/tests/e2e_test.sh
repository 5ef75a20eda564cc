#!/usr/bin/env bash
# Drives the real program as a person would, in a fresh folder under a virtual X display: the first run lands in
# entry mode, an entry is typed and saved, a query is typed, the other windows are opened and closed, and 关闭按钮
# ends the program. Then DHB.EDB is checked with sqlite3 and the exit code must be 0.
# Usage: e2e_test.sh /path/to/telvane
set -euo pipefail
. "$(dirname "$(readlink -f "$0")")/../../tests/support/e2e_lib.sh"
e2e_require Xvfb xdotool sqlite3
e2e_start_display
e2e_start_program "$1"

wid=$(wait_window 'Quorvel v1.4') || fail "the Main window did not appear"
[ -f "$work/DHB.EDB" ] || fail "the first run did not create DHB.EDB"

# Clicks at a point of the Main window (it stands at 50,50 on the screen).
shot=0
click() { xdotool mousemove $((50 + $1)) $((50 + $2)) click 1; sleep 0.4; if [ -n "${E2E_WORK:-}" ]; then shot=$((shot + 1)); import -window root "$work/step$shot.png"; fi; }

xdotool windowfocus --sync "$wid" 2>/dev/null || true
sleep 1
# Entry mode: the focus is in 姓名框; Enter walks the boxes and saves at 确定按钮. The name box takes what the
# name field holds once made full-width: five letters.
xdotool type --delay 80 'Li Lei'
keys Return
xdotool type --delay 80 '13900001111'
keys Return Return Return Return
xdotool type --delay 80 'remark 42'
keys Return Return
keys Return
wait_count 1 || fail "expected one record after the save"

# Query mode, then a query.
click 380 47
xdotool type --delay 80 'll'
sleep 0.3
import -window root "$work/query.png" 2>/dev/null || true

# The help window (titled like the Main window; it stands at 50,50, its 关闭按钮 at 400,2): open, close with the button.
titled() { xdotool search --onlyvisible --name '^Quorvel v1\.4$' 2>/dev/null | wc -l; }
before=$(titled)
click 360 17
for _ in $(seq 100); do [ "$(titled)" -gt "$before" ] && break; sleep 0.2; done
[ "$(titled)" -gt "$before" ] || fail "the help window did not open"
click 414 16
for _ in $(seq 100); do [ "$(titled)" -eq "$before" ] && break; sleep 0.2; done
[ "$(titled)" -eq "$before" ] || fail "the help window did not close"

# The import window (modal; it stands at 50,50 too): paste a name column, tidy, import, close. Closing after an
# import opens the list editor.
click 332 17
importwin=$(wait_window '批量导入Excel内容') || fail "the import window did not open"
sleep 1
click 40 120
xdotool type --delay 80 '王五'
keys Return
xdotool type --delay 80 '赵六'
click 709 20
click 763 20
wait_count 3 || fail "expected three records after the import"
close_window "$importwin"
wait_window 'Telvane-列表修改器' >/dev/null || fail "closing the import window after an import did not open the list editor"
close_editor

# The list editor from 表格按钮: open, close with Ctrl+Q.
click 380 105
close_editor

# 关闭按钮 ends the program with exit code 0.
click 388 17
e2e_expect_exit_0

row=$(sqlite3 -separator '|' "$work/DHB.EDB" 'SELECT 姓名, 单位, 备注, 手机 FROM directory ORDER BY id LIMIT 1')
expected='Ｌｉ　Ｌｅ||remark 42|13900001111'
[ "$row" = "$expected" ] || fail "stored record is '$row', expected '$expected'"
names=$(sqlite3 "$work/DHB.EDB" 'SELECT group_concat(姓名, ",") FROM (SELECT 姓名 FROM directory ORDER BY id)')
[ "$names" = 'Ｌｉ　Ｌｅ,王五,赵六' ] || fail "stored names are '$names'"
[ "$(sqlite3 "$work/DHB.EDB" 'PRAGMA integrity_check')" = ok ] || fail "integrity check"
[ ! -s "$work/DHB.EDB-wal" ] || fail "the WAL was not checkpointed at exit"
echo "PASS: entry saved, columns imported, windows opened and closed, exit code 0"
