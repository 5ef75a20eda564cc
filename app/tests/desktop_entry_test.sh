#!/usr/bin/env bash
# Installs the program as scripts/run.sh does, into a folder whose path holds a blank and a dollar sign, and checks
# the launcher written beside it: valid for desktop-file-validate, its Exec starts the installed program, its icon
# is a PNG.
# Usage: desktop_entry_test.sh BUILD_DIR
set -euo pipefail
command -v desktop-file-validate >/dev/null || { echo "SKIP: desktop-file-validate is not installed"; exit 77; }
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/my apps \$HOME"
cmake --install "$build" --prefix "$prefix" --component telvane >/dev/null
entry="$prefix/telvane/telvane.desktop"
fail() { echo "FAIL: $*"; cat "$entry" 2>/dev/null; exit 1; }

[ -f "$entry" ] || fail "no telvane.desktop in the installed folder"
desktop-file-validate "$entry" || fail "desktop-file-validate refuses the launcher"
grep -qx 'Name\[zh_CN\]=快速电话查号' "$entry" || fail "no Chinese name"
grep -qx 'Categories=Office;ContactManagement;' "$entry" || fail "categories"

# Exec as a launcher reads it: the value's own escapes first, then the quoted argument's.
exec_value=$(sed -n 's/^Exec=//p' "$entry")
program=$(python3 - "$exec_value" <<'PY'
import re, sys
value = sys.argv[1].replace("\\\\", "\\")
# The first argument: a quoted one, where a backslash escapes the next character, or a plain one up to a blank.
if value.startswith('"'):
    match = re.match(r'"((?:[^"\\]|\\.)*)"', value)
    print(re.sub(r'\\(.)', r'\1', match.group(1)))
else:
    print(value.split(' ')[0])
PY
)
[ "$program" = "$prefix/telvane/telvane" ] || fail "Exec names '$program'"
[ -x "$program" ] || fail "Exec's program is not executable"

icon=$(sed -n 's/^Icon=//p' "$entry")
[ "$icon" = "$prefix/telvane/telvane.png" ] || fail "Icon names '$icon'"
[ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "the icon is no PNG"
echo "launcher ok"
