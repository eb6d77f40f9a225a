#!/usr/bin/env bash
# Installs what is needed, builds, and publishes a generated sample library from a demo home
# folder (demo/home beside this repository's scripts). The helper, run from inside the settings
# window's bundle, keeps running in the background, as it does for a user, on a session bus of the
# demo's own; the site is served on a local port, and with a display the settings window opens on
# the same home and bus, so a change there shows on the site within seconds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
demo="$root/demo"
home="$demo/home"

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target Tessaly LumibayHelper make_sample_library

# A previous demo's helper and bus give way to this one.
for pidfile in "$demo/window.pid" "$demo/server.pid" "$demo/helper.pid" "$demo/bus.pid"; do
  if [ -f "$pidfile" ]; then
    kill "$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile"
  fi
done

mkdir -p "$home/Library/Preferences"
"$(find "$build/tools" -name tessaly-sample-library -type f | head -n 1)" --home "$home" --force

# Publishing on, the library checked every half minute.
cat >"$home/Library/Preferences/Tessaly.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Active_Flag_Key</key>
	<true/>
	<key>Check_Interval_Key</key>
	<real>0.5</real>
</dict>
</plist>
PLIST

bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
bus_address=$(printf '%s\n' "$bus" | sed -n 1p)
printf '%s\n' "$bus" | sed -n 2p >"$demo/bus.pid"
printf '%s\n' "$bus_address" >"$demo/bus.address"

site="$home/Sites/iPhotoPictureSite"
rm -f "$site/Tessaly.html"
HOME="$home" DBUS_SESSION_BUS_ADDRESS="$bus_address" \
  nohup "$build/Tessaly.prefPane/Resources/LumibayHelper.app/LumibayHelper" >"$demo/helper.log" 2>&1 &
echo $! >"$demo/helper.pid"

for _ in $(seq 1 600); do
  [ -f "$site/Tessaly.html" ] && [ -f "$site/Contents/menu.html" ] && break
  sleep 0.1
done
if ! [ -f "$site/Contents/menu.html" ]; then
  echo "The helper did not publish the site; see $demo/helper.log" >&2
  exit 1
fi

# The server must be the demo's own: a port another program holds would show someone else's site.
# A token only this run wrote tells them apart.
token=$(head -c 16 /dev/urandom | od -An -tx1 | tr -d ' \n')
printf '%s\n' "$token" >"$home/Sites/.demo-token"

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Starts the server on port $1; answers 0 once it serves this demo's Sites, 1 when it does not.
serve() {
  local port=$1
  nohup python3 -m http.server --bind 127.0.0.1 --directory "$home/Sites" "$port" \
    >"$demo/server.log" 2>&1 &
  echo $! >"$demo/server.pid"
  for _ in $(seq 1 100); do
    if ! kill -0 "$(cat "$demo/server.pid")" 2>/dev/null; then
      rm -f "$demo/server.pid"
      return 1
    fi
    if [ "$(curl --silent --noproxy '*' --max-time 2 "http://127.0.0.1:$port/.demo-token")" = "$token" ]; then
      return 0
    fi
    sleep 0.1
  done
  kill "$(cat "$demo/server.pid")" 2>/dev/null || true
  rm -f "$demo/server.pid"
  return 1
}

port=${TESSALY_DEMO_PORT:-8000}
if ! serve "$port"; then
  if [ -n "${TESSALY_DEMO_PORT:-}" ]; then
    echo "Port $port (TESSALY_DEMO_PORT) is taken by another program, or the demo's server could" >&2
    echo "not serve there (see $demo/server.log). Choose another port, or leave TESSALY_DEMO_PORT" >&2
    echo "unset to let the demo take a free one." >&2
    exit 1
  fi
  taken=$port
  port=$(free_port)
  echo "Port $taken is taken by another program; serving on the free port $port instead."
  if ! serve "$port"; then
    echo "The demo's server did not start on port $port; see $demo/server.log" >&2
    exit 1
  fi
fi
address="http://127.0.0.1:$port/iPhotoPictureSite/Tessaly.html"

window="no display: open it yourself with the command below"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  HOME="$home" DBUS_SESSION_BUS_ADDRESS="$bus_address" \
    nohup "$build/Tessaly.prefPane/Tessaly" >"$demo/window.log" 2>&1 &
  echo $! >"$demo/window.pid"
  window="open, pid $(cat "$demo/window.pid")"
fi

cat <<MSG

Published the sample library:
  site:    $site/Tessaly.html
  open:    $address  (served from $home/Sites, log in $demo/server.log)
  library: $home/Sites/iPhoto Library
  helper:  running, pid $(cat "$demo/helper.pid"), log in $demo/helper.log
  window:  $window

Change the look in the settings window and reload the page: the site follows within seconds.
To open the window on the demo's home and bus:
  HOME='$home' DBUS_SESSION_BUS_ADDRESS='$bus_address' '$build/Tessaly.prefPane/Tessaly'

To stop the demo: stop publishing (the site is closed and the helper ends), then end the server
and the demo's own bus:
  DBUS_SESSION_BUS_ADDRESS='$bus_address' gdbus emit --session \\
    --object-path /org/tessaly/Lumibay --signal org.tessaly.Lumibay.Stop_Lumibay_Helper_Notification
  kill $(cat "$demo/server.pid") $(cat "$demo/bus.pid")
MSG
