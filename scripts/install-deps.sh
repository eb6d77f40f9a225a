#!/usr/bin/env bash
# Installs everything Tessaly needs to build, test and run on Debian 12. Safe to run again.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6dbus6 qt6-tools-dev libqt6uitools6 libqt6opengl6-dev
  libplist-dev libplist++-dev libexpat1-dev
  # the helper's page pool: the standard library's parallel algorithms run on oneTBB
  libtbb-dev
  # tests, also run under a decimal-comma locale
  googletest libgtest-dev dbus-daemon dbus-bin libglib2.0-bin python3 locales
  # desktop entries (autostart, applications)
  libglib2.0-dev desktop-file-utils
  # a font for the offscreen widget tests (text widths, drag images)
  fonts-dejavu-core
  # the browser test: a real web server and a real browser
  nginx-light chromium chromium-driver python3-selenium
  # the formatting check
  clang-format
  # fuzzing (clang's libFuzzer runtime)
  clang libclang-rt-14-dev
  # web sharing at /~user/: Debian's Apache with mod_userdir
  apache2 curl
  # the library bridge: Shotwell and digiKam databases, thumbnails, picture descriptions
  libsqlite3-dev libvips-dev libvips-tools libexiv2-dev libffmpegthumbnailer-dev
  # real databases from the real applications, test pictures and movies
  shotwell digikam-data xvfb xauth ffmpeg exiv2 sqlite3
  # the window as assistive technology reads it (AT-SPI)
  at-spi2-core python3-pyatspi gir1.2-atspi-2.0 python3-gi
  # and the Orca screen reader, whose words a test checks
  orca
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The browser test's accessibility audit runs axe-core through puppeteer-core (npm packages).
if ! command -v npm >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends npm
fi

# The audit's own packages, exactly as its lock file names them; installed again only when the lock
# file changed since the last install.
browser_tests="$(cd "$(dirname "$0")/.." && pwd)/tests/browser"
if ! cmp -s "$browser_tests/package-lock.json" "$browser_tests/node_modules/.installed-lock.json"; then
  (cd "$browser_tests" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$browser_tests/package-lock.json" "$browser_tests/node_modules/.installed-lock.json"
fi

# The tests run a second time under a German locale, whose decimal comma catches numbers read or
# written through the C library's locale.
locales=$(locale -a 2>/dev/null || true)
if ! grep -qi '^de_DE\.utf-\?8$' <<<"$locales"; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
