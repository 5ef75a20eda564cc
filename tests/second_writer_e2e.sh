#!/usr/bin/env bash
# Two copies of the real program in one folder under a virtual X display, with telvane-cli and the sqlite3 shell
# writing the same DHB.EDB between their saves, and a grid edit in the list editor. Every record is there
# afterwards, both programs hold their lock on the file throughout, and both end with exit code 0.
# Usage: second_writer_e2e.sh /path/to/telvane /path/to/telvane-cli
set -euo pipefail
. "$(dirname "$(readlink -f "$0")")/support/e2e_lib.sh"
e2e_require Xvfb xdotool sqlite3
cli=$(readlink -f "$2")
e2e_extra_cleanup() { [ -z "${appB:-}" ] || kill "$appB" 2>/dev/null || true; }
E2E_SCREEN=1600x900x24 e2e_start_display

printf '张三\t单位\n李四\t单位\n' | "$cli" import "$work/DHB.EDB" >/dev/null
e2e_start_program "$1"
widA=$(wait_window 'Quorvel v1.4') || fail "the first program did not start"
"$work/telvane" >>"$work/app.log" 2>&1 &
appB=$!
widB=
for _ in $(seq 100); do
    widB=$(xdotool search --name 'Quorvel v1.4' 2>/dev/null | grep -v "^$widA$" | head -1) && [ -n "$widB" ] && break
    sleep 0.2
done
[ -n "$widB" ] || fail "the second program did not start"
# The second copy stands beside the first, clear of the list editor, so both can be clicked.
xdotool windowmove "$widB" 900 50
sleep 0.5

# Clicks at a point of a Main window standing at (x, y) on the screen.
click_at() { xdotool mousemove $(($1 + $3)) $(($2 + $4)) click 1; sleep 0.3; }
# Saves an entry typed into 姓名框 of the program whose window stands at (x, y).
save_in() {
    click_at "$1" "$2" 380 76 # 输入按钮
    xdotool type --delay 60 "$3"
    sleep 0.2
    click_at "$1" "$2" 176 108 # 确定按钮
}
locked_by() {
    local inode
    inode=$(stat -c %i "$work/DHB.EDB")
    awk -v pid="$1" -v ino=":$inode" '$5 == pid && substr($6, length($6) - length(ino) + 1) == ino' /proc/locks | grep -q .
}
both_locked() { locked_by "$app" && locked_by "$appB"; }

save_in 50 50 aa
wait_count 3 || fail "the first program's save is missing"
both_locked || fail "a program lost its lock after a save"
printf '王五\t\n' | "$cli" import "$work/DHB.EDB" >/dev/null
save_in 900 50 bb
wait_count 5 || fail "the second program's save after an import is missing"
sqlite3 "$work/DHB.EDB" "INSERT INTO directory (姓名) VALUES ('赵六');"
save_in 50 50 cc
save_in 900 50 dd
wait_count 8 || fail "saves after a write by sqlite3 are missing"
both_locked || fail "a program lost its lock after the others wrote"

# The list editor of the first program: a grid edit of the first record, between two imports.
click_at 50 50 380 105
editor=$(wait_window 'Telvane-列表修改器') || fail "the list editor did not open"
printf '孙七\t\n' | "$cli" import "$work/DHB.EDB" >/dev/null
xdotool windowactivate --sync "$editor" 2>/dev/null || xdotool windowfocus --sync "$editor" 2>/dev/null || true
sleep 0.5
keys ctrl+Home F2 End shift+Home
xdotool type --delay 60 'edit'
keys Return
for _ in $(seq 50); do
    [ "$(sqlite3 "$work/DHB.EDB" 'SELECT 姓名 FROM directory ORDER BY id LIMIT 1')" = ｅｄｉｔ ] && break
    sleep 0.2
done
[ "$(sqlite3 "$work/DHB.EDB" 'SELECT 姓名 FROM directory ORDER BY id LIMIT 1')" = ｅｄｉｔ ] ||
    fail "the grid edit did not reach the store"
both_locked || fail "a program lost its lock after the list editor opened"
# Behind the open grid another program puts someone else under the first record's key. What the grid still shows
# as ｅｄｉｔ is typed into and deleted: nothing lands on the other person.
sqlite3 "$work/DHB.EDB" "DELETE FROM directory WHERE id = 1; INSERT INTO directory (id, 姓名) VALUES (1, '冒名');"
keys ctrl+Home Right Right F2
xdotool type --delay 60 'VIP'
keys Return
keys ctrl+d
sleep 0.5
[ "$(sqlite3 -separator '|' "$work/DHB.EDB" 'SELECT 姓名, 备注 FROM directory WHERE id = 1')" = '冒名|' ] ||
    fail "a stale grid row wrote on another record"
printf '周八\t\n' | "$cli" import "$work/DHB.EDB" >/dev/null
save_in 900 50 ee
wait_count 11 || fail "records are missing after the grid edit"
close_editor
save_in 50 50 ff
wait_count 12 || fail "the first program's save after the list editor is missing"

click_at 50 50 388 17 # 关闭按钮
e2e_expect_exit_0
app=$appB
appB=
click_at 900 50 388 17
e2e_expect_exit_0

names=$(sqlite3 "$work/DHB.EDB" 'SELECT group_concat(姓名, ",") FROM (SELECT 姓名 FROM directory ORDER BY id)')
expected='冒名,李四,ａａ,王五,ｂｂ,赵六,ｃｃ,ｄｄ,孙七,周八,ｅｅ,ｆｆ'
[ "$names" = "$expected" ] || fail "stored names are '$names', expected '$expected'"
[ "$(sqlite3 "$work/DHB.EDB" 'PRAGMA integrity_check')" = ok ] || fail "integrity check"
[ ! -s "$work/DHB.EDB-wal" ] || fail "the WAL was not checkpointed at exit"
echo "PASS: two programs, telvane-cli, sqlite3 and the grid wrote one store; every record is there"
