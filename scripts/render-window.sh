#!/usr/bin/env bash
# Renders the settings window offscreen, one PNG per tab, into docs/ for the README. The window
# shows the defaults of a fresh home folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${TESSALY_BUILD_DIR:-$root/build}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target render_window
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$root/docs"
HOME="$home" QT_QPA_PLATFORM=offscreen \
  "$build/pane/render_window" "$build/Tessaly.prefPane/Resources" "$root/docs" /home/ana
