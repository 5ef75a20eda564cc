#!/usr/bin/env bash
# The Debian package as a user gets it. lintian finds no error and the launcher passes desktop-file-validate; the
# package unpacked into a scratch root runs as an installed one: the window makes $XDG_DATA_HOME/telvane/ and DHB.EDB
# in it on the first run and writes nothing beside the program, telvane-cli reads and writes that store, and
# --store opens another one.
# Usage: package_test.sh telvane_<version>_amd64.deb
set -euo pipefail
. "$(dirname "$(readlink -f "$0")")/../../tests/support/e2e_lib.sh"
e2e_require dpkg-deb lintian desktop-file-validate Xvfb xdotool
deb=$(readlink -f "$1")
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# ---- the package's files and fields
root="$work/root"
dpkg-deb -x "$deb" "$root"
for file in usr/bin/telvane usr/bin/telvane-cli usr/share/applications/telvane.desktop \
    usr/share/man/man1/telvane.1.gz usr/share/man/man1/telvane-cli.1.gz \
    usr/share/doc/telvane/copyright usr/share/doc/telvane/changelog.gz; do
    [ -f "$root/$file" ] || fail "the package has no /$file"
done
for size in 16 22 24 32 48 64 128 256; do
    icon="$root/usr/share/icons/hicolor/${size}x$size/apps/telvane.png"
    # A PNG's width and height are the two big-endian numbers at bytes 16 to 23.
    [ "$(od -An -tx1 -j16 -N8 "$icon" 2>/dev/null | tr -d ' \n')" = "$(printf '%08x%08x' "$size" "$size")" ] ||
        fail "no ${size}x$size PNG icon in the icon theme"
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libsqlite3-0 fonts-arphic-uming qt6-translations-l10n; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done
desktop-file-validate "$root/usr/share/applications/telvane.desktop" || fail "desktop-file-validate refuses the launcher"

# Every tag, errors and warnings and the informational ones; an error fails the test.
echo "lintian:"
lintian --fail-on error --display-info "$deb" || fail "lintian reports an error"

# ---- the window, as installed: its store in a data folder that does not exist yet
export XDG_DATA_HOME="$work/data home"
store="$XDG_DATA_HOME/telvane/DHB.EDB"
e2e_start_display
start() {
    "$root/usr/bin/telvane" "$@" >>"$work/app.log" 2>&1 &
    app=$!
    wait_window 'Quorvel v1.4' >/dev/null || fail "the Main window did not appear"
}
stop() {
    kill -TERM "$app"
    e2e_expect_exit_0
}
start
[ -f "$store" ] || fail "no DHB.EDB in \$XDG_DATA_HOME/telvane/"
[ "$(stat -c %a "$XDG_DATA_HOME/telvane")" = 700 ] || fail "the data folder is open to others"
stop
[ "$(ls -A "$root/usr/bin")" = "$(printf 'telvane\ntelvane-cli')" ] ||
    fail "the program wrote beside itself: $(ls -A "$root/usr/bin" | tr '\n' ' ')"

# ---- the command-line companion on the window's store
cli="$root/usr/bin/telvane-cli"
[ "$(printf '张三\t电信局\t\t\t\t13912345678\t\n' | "$cli" import "$store")" = 1 ] || fail "import did not add the row"
[ "$("$cli" count "$store")" = 1 ] || fail "count"
"$cli" search "$store" zs | grep -q '张三' || fail "search zs does not find 张三"

# ---- --store: another store, and the data folder's store left alone
start --store "$work/other.EDB"
[ -f "$work/other.EDB" ] || fail "--store did not create its store"
stop
[ "$("$cli" count "$work/other.EDB")" = 0 ] || fail "the --store store is not empty"
[ "$("$cli" count "$store")" = 1 ] || fail "the data folder's store changed"
echo "PASS: package checked, unpacked and run from a scratch root"
