#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${TESSALY_BUILD_DIR:-$root/build}"

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2
# Qt programs in tests need no display.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j2
# Numbers in our files must read and write the same in every locale; a decimal comma shows it.
echo
echo "=== Running the tests again under LC_ALL=de_DE.UTF-8 ==="
LC_ALL=de_DE.UTF-8 ctest --test-dir "$build" --output-on-failure -j2
