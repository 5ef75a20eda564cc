#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need, when any is missing.
set -euo pipefail
# fonts-arphic-uming stands in for the face 宋体 (its metrics fit the windows' boxes); fonts-noto-cjk draws the
# characters it lacks. qt6-translations-l10n holds Qt's own texts in Chinese.
# xvfb, xdotool, xclip, trayer and x11-utils drive the real program in the whole-program tests; desktop-file-utils
# checks the launcher; dbus-x11, at-spi2-core and python3-pyatspi read what a screen reader hears; ibus with
# ibus-libpinyin types Chinese through a real input method. liborcus-dev reads contacts from .xlsx and .ods files.
# dpkg-dev (dpkg-buildflags, dpkg-shlibdeps) and file build the Debian package, lintian checks it.
packages=(cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libsqlite3-dev sqlite3 liborcus-dev
          fonts-arphic-uming fonts-noto-cjk qt6-translations-l10n libbenchmark-dev clang-14 libclang-rt-14-dev
          xvfb xauth xdotool xclip trayer x11-utils imagemagick desktop-file-utils
          dbus-x11 at-spi2-core python3-pyatspi ibus ibus-libpinyin dpkg-dev file lintian)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
