#!/usr/bin/env bash
# Sets everything up and runs the demo against the stand-in cloud lumivex-sim.
#
#   scripts/demo.sh                 the desktop client, signed in to the demo
#                                   account (remembered password, automatic
#                                   sign-in), its cameras playing
#   scripts/demo.sh --cli           what lumivexctl does against the same cloud
#   scripts/demo.sh --screenshot FILE [SECONDS]
#                                   the desktop client under Xvfb: a PNG of its
#                                   main window after SECONDS (default 20), with
#                                   the first window selected and recording;
#                                   then everything stops
#
# LUMIVEX_BIN=DIR uses the programs in DIR instead of installing and building.
set -euo pipefail
caller_dir=$PWD
cd "$(dirname "$0")/.."

mode=desktop
shot=""
shot_seconds=20
case "${1:-}" in
  "") ;;
  --cli) mode=cli ;;
  --screenshot)
    mode=screenshot
    shot=${2:?"--screenshot needs a FILE"}
    shot_seconds=${3:-20}
    [[ "$shot_seconds" =~ ^[0-9]+$ ]] && [ "$shot_seconds" -ge 1 ] && [ "$shot_seconds" -le 3600 ] \
      || { echo "SECONDS must be 1 to 3600" >&2; exit 2; }
    case "$shot" in /*) ;; *) shot="$caller_dir/$shot" ;; esac
    ;;
  *) sed -n '2,14p' "$0" >&2; exit 2 ;;
esac

if [ -n "${LUMIVEX_BIN:-}" ]; then
  bin=$LUMIVEX_BIN
else
  scripts/install-deps.sh
  scripts/build.sh release lumivex-sim lumivexctl lumivex lumivex_res
  bin=build/bin
fi

home=$(mktemp -d "${TMPDIR:-/tmp}/lumivex-demo-XXXXXX")
mkdir -p "$home/config"
sim_log="$home/sim.log"
"$bin/lumivex-sim" --scenario sim/scenarios/demo.json --state "$home/sim-state" \
  --port 0 --lan-port 0 > "$home/sim.out" 2> "$sim_log" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null || true' EXIT

ready=""
for _ in $(seq 1 100); do  # at most 10 s
  ready=$(grep -m1 '^lumivex-sim: ready' "$home/sim.out" || true)
  [ -n "$ready" ] && break
  sleep 0.1
done
[ -n "$ready" ] || { echo "lumivex-sim did not start:"; cat "$sim_log"; exit 1; }
echo "$ready"
web=$(sed -E 's/.*web=([0-9]+).*/\1/' <<<"$ready")
lan=$(sed -E 's/.*lan=([0-9]+).*/\1/' <<<"$ready")
ca=$(sed -E 's/.*ca=([^ ]+).*/\1/' <<<"$ready")

# The client's deployment settings: the stand-in cloud on loopback.
cat > "$home/lumivex.ini" <<INI
host = 127.0.0.1
port = $web
web_port = $web
scheme = https
ca_file = $ca
local_net = 127.0.0.1/255.0.0.0
lan_port = $lan
INI

ctl() { echo; echo "\$ lumivexctl $*"; "$bin/lumivexctl" --home "$home" "$@" || true; }

if [ "$mode" = cli ]; then
  ctl -u demo -p demo123 --remember login
  ctl -u demo devices
  ctl -u demo probe-lan
  ctl -u demo led cam02
  ctl -u demo alarm-time cam03 22 6
  ctl -u demo bound-users cam01
  ctl -u demo bind-user cam01 bob.lee
  ctl -u demo bind-user cam01 dave
  ctl -u demo playback-list cam01
  ctl -u demo playback-list cam05
  ctl -u demo check-update
  for cam in cam01 cam02 cam03 cam04 cam09; do
    ctl -u demo connect $cam --frames 5
  done
  ctl recover rita --answer 王强 --question 3 --new-password rita5678
  cat <<'TXT'

Above, "connect" reached each camera the way the client does: on the LAN
(cam01), through a port mapping (cam02), by NAT traversal over UDT (cam03),
through the relay (cam04), and through the relay after a LAN address that
never answered (cam09), each frame checked by its CRC.
TXT
  exit 0
fi

# One sign-in, as the sign-in window does it, leaves the user's configuration
# with the remembered password and automatic sign-in; the client then signs
# in by itself. Its other settings, saved after it as the settings sheet
# saves them: live view of every camera at start, the storage folders, and a
# 3x3 wall.
"$bin/lumivexctl" --home "$home" -u demo -p demo123 --remember --auto-login settings --auto-play 1 \
  --video-path "$home/video" --image-path "$home/pictures" --layout 3x3 > "$home/settings.txt" ||
  { echo "the demo settings were not saved:"; cat "$home/settings.txt"; exit 1; }
grep -qx 'auto-login: 1' "$home/settings.txt" && grep -qx 'auto-play: 1' "$home/settings.txt" ||
  { echo "automatic sign-in or live view is not on:"; cat "$home/settings.txt"; exit 1; }

if [ "$mode" = screenshot ]; then
  command -v xvfb-run > /dev/null || { echo "xvfb-run is missing (Debian package xvfb)" >&2; exit 1; }
  rm -f "$shot"
  # The client takes the picture and ends by itself; timeout bounds it all.
  LUMIVEX_SELECT=0 LUMIVEX_RECORD=1 LUMIVEX_SCREENSHOT="$shot,$shot_seconds" \
    timeout $((shot_seconds + 90)) xvfb-run -a -s "-screen 0 1600x1000x24" \
    "$bin/lumivex" --home "$home" --verbose > "$home/client.log" 2>&1 || true
  [ -s "$shot" ] || { echo "no screenshot; the client's log is $home/client.log" >&2; exit 1; }
  echo "screenshot: $shot"
  echo "recordings:"
  find "$home/video" -type f -name '*.mp4' | sed 's/^/  /'
  exit 0
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to open the client on. Try scripts/screenshot.sh FILE, or $0 --cli." >&2
  exit 1
fi
cat <<TXT

Opening the desktop client, signed in as demo (password demo123). Its data,
recordings and snapshots are in $home.
Close its window (or choose 退出 in the tray menu) to end the demo.
TXT
"$bin/lumivex" --home "$home"
