#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks what lands where, and opens the installed
# window offscreen: a second start only raises the first, and asking it to quit ends it cleanly.
# Runs on a private session bus (ctest starts it under dbus-run-session).
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix/usr" >/dev/null
root="$prefix/usr"
[ "$(ls "$prefix")" = usr ] || fail "installed outside the prefix: $(ls "$prefix")"
while read -r file; do
  case "$file" in "$root"/*) ;; *) fail "installed outside the prefix: $file" ;; esac
done <"$build/install_manifest.txt"

bundle="$root/lib/tessaly/Tessaly.prefPane"
for path in "$root/bin/tessaly" "$bundle/Tessaly" "$bundle/Resources/LumibayHelper.app/LumibayHelper"; do
  [ -x "$path" ] || fail "not an executable: $path"
done
for path in "$bundle/Resources/Tessaly.ui" "$bundle/Resources/en.lproj/InfoPlist.strings" \
            "$bundle/Resources/LumibayHelper.app/Resources/Hinagata/topPage.txt" \
            "$root/share/icons/hicolor/scalable/apps/tessaly.svg"; do
  [ -f "$path" ] || fail "missing: $path"
done
[ -d "$bundle/Resources/ViewSettings" ] && [ -w "$bundle/Resources/ViewSettings" ] \
  || fail "ViewSettings is not a writable folder"
for preset in "Dark Gallery" "Light Paper" Ocean Print; do
  [ -f "$bundle/Resources/ViewSettings/$preset.plist" ] && [ -w "$bundle/Resources/ViewSettings/$preset.plist" ] \
    || fail "shipped preset $preset is missing or not writable"
done
desktop-file-validate "$root/share/applications/tessaly.desktop" || fail "desktop entry"

export HOME="$prefix/home" QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME"
"$root/bin/tessaly" >"$prefix/first.log" 2>&1 &
first=$!
owned() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner org.tessaly.Tessaly 2>/dev/null | grep -q true
}
for _ in $(seq 1 600); do owned && break; sleep 0.1; done
owned || fail "the window did not take its bus name: $(cat "$prefix/first.log")"

timeout 30 "$root/bin/tessaly" || fail "a second start did not hand over to the first"
kill -0 "$first" || fail "the first window went away"

gdbus call --session --dest org.tessaly.Tessaly --object-path /org/tessaly/Tessaly \
  --method org.tessaly.Tessaly.Quit >/dev/null
status=0
for _ in $(seq 1 600); do kill -0 "$first" 2>/dev/null || break; sleep 0.1; done
wait "$first" || status=$?
[ "$status" -eq 0 ] || fail "the installed window exited with $status: $(cat "$prefix/first.log")"
echo "installed and opened under $root"
