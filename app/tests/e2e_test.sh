#!/usr/bin/env bash
# Drives the real program as a person would, in a fresh folder under a virtual X display: the first run lands in
# entry mode, an entry is typed and saved, a query is typed, the other windows are opened and closed, and 关闭按钮
# ends the program. Then DHB.EDB is checked with sqlite3 and the exit code must be 0.
# Usage: e2e_test.sh /path/to/telvane
set -euo pipefail
binary=$(readlink -f "$1")
for tool in Xvfb xdotool sqlite3; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=${E2E_WORK:-$(mktemp -d)}
trap 'kill "${app:-}" "${xvfb:-}" 2>/dev/null || true; [ -n "${E2E_WORK:-}" ] || rm -rf "$work"' EXIT
cp "$binary" "$work/telvane"

display=:$((RANDOM % 400 + 300))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

"$work/telvane" >"$work/app.log" 2>&1 &
app=$!

fail() { echo "FAIL: $*"; cat "$work/app.log"; exit 1; }
wid=$(timeout 20 xdotool search --sync --name 'Quorvel v1.4' | head -1) || fail "the Main window did not appear"
[ -f "$work/DHB.EDB" ] || fail "the first run did not create DHB.EDB"

# Clicks at a point of the Main window (it stands at 50,50 on the screen).
shot=0
click() { xdotool mousemove $((50 + $1)) $((50 + $2)) click 1; sleep 0.4; if [ -n "${E2E_WORK:-}" ]; then shot=$((shot + 1)); import -window root "$work/step$shot.png"; fi; }
keys() { xdotool key --delay 60 "$@"; sleep 0.3; }

xdotool windowfocus --sync "$wid" 2>/dev/null || true
sleep 0.5
# Entry mode: the focus is in 姓名框; Enter walks the boxes and saves at 确定按钮.
xdotool type --delay 80 'Li Lei'
keys Return
xdotool type --delay 80 '13900001111'
keys Return Return Return Return
xdotool type --delay 80 'remark 42'
keys Return Return
keys Return
sleep 0.5
count=$(sqlite3 "$work/DHB.EDB" 'SELECT count(*) FROM directory')
[ "$count" = 1 ] || fail "expected one record after the save, found $count"

# Query mode, then a query.
click 380 47
xdotool type --delay 80 'll'
sleep 0.3
import -window root "$work/query.png" 2>/dev/null || true

# The help window: open and close with its 关闭按钮 (it stands at 50,50, the button at 400,2).
click 360 17
sleep 0.5
click 414 16
# The import window (modal; it stands at 50,50 too): paste a name column, tidy, import, close. Closing after an
# import opens the list editor.
here=$(dirname "$(readlink -f "$0")")
click 332 17
sleep 0.8
importwin=$(timeout 10 xdotool search --sync --name '批量导入Excel内容' | head -1) || fail "the import window did not open"
click 40 120
xdotool type --delay 80 '王五'
keys Return
xdotool type --delay 80 '赵六'
click 709 20
click 763 20
python3 "$here/x11_close.py" "$importwin"
editor=$(timeout 10 xdotool search --sync --name 'Telvane-列表修改器' | head -1) || fail "closing the import window after an import did not open the list editor"
count=$(sqlite3 "$work/DHB.EDB" 'SELECT count(*) FROM directory')
[ "$count" = 3 ] || fail "expected three records after the import, found $count"
xdotool windowfocus --sync "$editor" 2>/dev/null || true
keys ctrl+q
for _ in $(seq 30); do xdotool search --name 'Telvane-列表修改器' >/dev/null 2>&1 || break; sleep 0.1; done

# The list editor from 表格按钮: open, close with Ctrl+Q.
click 380 105
sleep 1
editor=$(timeout 10 xdotool search --sync --name 'Telvane-列表修改器' | head -1) || fail "the list editor did not open"
xdotool windowfocus --sync "$editor" 2>/dev/null || true
keys ctrl+q
for _ in $(seq 30); do xdotool search --name 'Telvane-列表修改器' >/dev/null 2>&1 || break; sleep 0.1; done
if xdotool search --name 'Telvane-列表修改器' >/dev/null 2>&1; then fail "Ctrl+Q did not close the list editor"; fi

# 关闭按钮 ends the program with exit code 0.
click 388 17
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then fail "the program did not end after 关闭按钮"; fi
set +e
wait "$app"
code=$?
set -e
app=
[ "$code" = 0 ] || fail "exit code $code"

row=$(sqlite3 -separator '|' "$work/DHB.EDB" 'SELECT 姓名, 单位, 备注, 手机 FROM directory ORDER BY id LIMIT 1')
expected='Ｌｉ　Ｌｅｉ||remark 42|13900001111'
[ "$row" = "$expected" ] || fail "stored record is '$row', expected '$expected'"
names=$(sqlite3 "$work/DHB.EDB" 'SELECT group_concat(姓名, ",") FROM (SELECT 姓名 FROM directory ORDER BY id)')
[ "$names" = 'Ｌｉ　Ｌｅｉ,王五,赵六' ] || fail "stored names are '$names'"
[ "$(sqlite3 "$work/DHB.EDB" 'PRAGMA integrity_check')" = ok ] || fail "integrity check"
[ ! -s "$work/DHB.EDB-wal" ] || fail "the WAL was not checkpointed at exit"
echo "PASS: entry saved, columns imported, windows opened and closed, exit code 0"
