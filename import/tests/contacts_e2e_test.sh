#!/usr/bin/env bash
# A phone's vCard file brought into the real program: the import window opened from the Main window, Ctrl+O, the
# file's path typed into the file dialog, then 整理数据 and 导入数据. telvane-cli then reads the records back, and the
# store as it was before the import is in backup/ beside it.
# Usage: contacts_e2e_test.sh /path/to/telvane /path/to/telvane-cli
set -euo pipefail
. "$(dirname "$(readlink -f "$0")")/../../tests/support/e2e_lib.sh"
e2e_require Xvfb xdotool sqlite3
e2e_start_display
e2e_start_program "$1"
cli=$2

# Clicks at a point of a window standing at 50,50 on the screen (the Main window and the import window both do).
click() { xdotool mousemove $((50 + $1)) $((50 + $2)) click 1; sleep 0.4; }

# As Android writes it: vCard 2.1, a quoted-printable name, a number with its country code.
printf '%s\r\n' 'BEGIN:VCARD' 'VERSION:2.1' 'N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0;=E4=B8=89;;;' \
    'TEL;CELL:+86 139 1234 5678' 'END:VCARD' 'BEGIN:VCARD' 'VERSION:2.1' 'FN;CHARSET=UTF-8:欧阳娜娜' \
    'ORG;CHARSET=UTF-8:北京大学' 'TEL;WORK:010-62751234' 'NOTE;CHARSET=UTF-8:老同学' 'END:VCARD' >"$work/phone.vcf"

wait_window 'Quorvel v1.4' >/dev/null || fail "the Main window did not appear"
click 332 17
importwin=$(wait_window '批量导入Excel内容') || fail "the import window did not open"
sleep 1
xdotool windowactivate --sync "$importwin" 2>/dev/null || true
keys ctrl+o
dialog=$(wait_window '打开通讯录文件') || fail "Ctrl+O opened no file dialog"
sleep 0.5
xdotool type --delay 20 "$work/phone.vcf"
# Return takes the path; a completion list standing open takes the first one.
for _ in 1 2 3; do
    xdotool search --name '打开通讯录文件' >/dev/null 2>&1 || break
    keys Return
done
wait_no_window '打开通讯录文件' || fail "the file dialog did not take the path"
sleep 1.5
click 709 20
sleep 1
click 763 20
wait_count 2 || fail "expected two records after the import"
[ -f "$work/backup/DHB-$(date +%F).EDB" ] || fail "no backup was made before the import"
close_window "$importwin"
close_editor
click 388 17
e2e_expect_exit_0

rows=$("$cli" export "$work/DHB.EDB")
expected=$'张三\t\t\t\t\t13912345678\t\n欧阳娜娜\t北京大学\t老同学\t010-62751234\t\t\t'
[ "$rows" = "$expected" ] || fail "stored rows are
$rows
expected
$expected"
echo "PASS: a phone's vCard file read with Ctrl+O landed in the store, with a backup made before"
