#!/usr/bin/env bash
# Sets everything up and runs what the client can do so far against the
# stand-in cloud lumivex-sim.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh release lumivex-sim lumivexctl

home=$(mktemp -d "${TMPDIR:-/tmp}/lumivex-demo-XXXXXX")
mkdir -p "$home/config"
sim_log="$home/sim.log"
build/bin/lumivex-sim --scenario sim/scenarios/demo.json --state "$home/sim-state" \
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

ctl() { echo; echo "\$ lumivexctl $*"; build/bin/lumivexctl --home "$home" "$@" || true; }
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

Above, "connect" reached each camera the way the client will: on the LAN
(cam01), through a port mapping (cam02), by NAT traversal over UDT (cam03),
through the relay (cam04), and through the relay after a LAN address that
never answered (cam09), each frame checked by its CRC.
Coming next: live view itself (decoding, recording, audio and talk-back),
then the desktop client, which this command will start signed in to the
demo account with its cameras playing.
TXT
