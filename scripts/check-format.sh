#!/usr/bin/env bash
# Fails when a C++ source differs from what the committed .clang-format makes of it, and shows
# the difference. `scripts/check-format.sh --fix` formats them in place.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -d '' sources < <(find shared helper pane bridge tests tools bench fuzz \
  \( -name '*.cxx' -o -name '*.hxx' \) -print0 | sort -z)
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${sources[@]}"
  exit 0
fi
status=0
for source in "${sources[@]}"; do
  if ! diff -u --label "$source" --label "$source (formatted)" "$source" \
      <(clang-format "$source"); then
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "${#sources[@]} sources formatted as .clang-format says"
exit "$status"
