#!/usr/bin/env bash
# Installs everything Tessaly needs to build, test and run on Debian 12. Safe to run again.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6dbus6 libplist-dev libplist++-dev libexpat1-dev
  # tests
  googletest libgtest-dev dbus-daemon dbus-bin libglib2.0-bin python3
  # a font for the offscreen widget tests (text widths, drag images)
  fonts-dejavu-core
  # the browser test: a real web server and a real browser
  nginx-light chromium chromium-driver python3-selenium
  # fuzzing (clang's libFuzzer runtime)
  clang libclang-rt-14-dev
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
