#!/usr/bin/env bash
# Seed corpora from real traffic: runs the sim with --dump-dir on
# fuzz/seeds/scenario.json and drives it with lumivexctl (sign-in, devices,
# LAN probe, bound users, recovery, update check, a few seconds of live view
# on every connection type, playback). The dump lands in build-fuzz/seeds/,
# one folder per fuzz target. Uses the fuzz tree's sim (the one with
# --dump-dir) and the release tree's lumivexctl when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-fuzz/seeds
sim=$root/build-fuzz/bin/lumivex-sim
ctl=$root/build/bin/lumivexctl
if [ ! -x "$ctl" ]; then
  ctl=$root/build-fuzz/bin/lumivexctl
  [ -x "$ctl" ] || scripts/build.sh fuzz lumivexctl
fi
[ -x "$sim" ] || scripts/build.sh fuzz lumivex-sim

work=$(mktemp -d /tmp/lumivex-seeds.XXXXXX)
simpid=
cleanup() {
  [ -n "$simpid" ] && kill "$simpid" 2>/dev/null && wait "$simpid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
rm -rf "$out"
mkdir -p "$out" "$work/home"

"$sim" --scenario fuzz/seeds/scenario.json --state "$work/state" --port 0 --lan-port 0 \
  --dump-dir "$out" > "$work/sim.out" 2> "$work/sim.err" &
simpid=$!
for _ in $(seq 100); do
  grep -q "ready web=" "$work/sim.out" 2>/dev/null && break
  kill -0 "$simpid" 2>/dev/null || { cat "$work/sim.err" >&2; exit 1; }
  sleep 0.1
done
line=$(grep -m1 "ready web=" "$work/sim.out") || { echo "the sim did not start" >&2; exit 1; }
web=$(sed 's/.*web=\([0-9]*\).*/\1/' <<<"$line")
lan=$(sed 's/.*lan=\([0-9]*\).*/\1/' <<<"$line")
ca=$(sed 's/.*ca=\([^ ]*\).*/\1/' <<<"$line")

ctl() {
  timeout 60 "$ctl" --home "$work/home" --host 127.0.0.1 --port "$web" --web-port "$web" --ca-file "$ca" \
    --local-net 127.0.0.1/255.0.0.0 --lan-port "$lan" "$@" > /dev/null 2>&1 || true
}
ctl recover fuzz --answer Mei --new-password fuzz1234 --question 1
ctl -u fuzz -p fuzz1234 check-update
ctl -u fuzz -p fuzz1234 devices
ctl -u fuzz -p fuzz1234 probe-lan
ctl -u fuzz -p fuzz1234 bound-users lan01
ctl -u fuzz -p fuzz1234 playback-list lan01
for sid in lan01 map01 trav01 relay01; do ctl -u fuzz -p fuzz1234 watch "$sid" --seconds 3; done
ctl -u fuzz -p fuzz1234 playback lan01 20240301-09 --seconds 3

kill "$simpid" && wait "$simpid" 2>/dev/null || true
simpid=
for t in "$out"/*/; do
  printf '%-20s %3d files\n' "$(basename "$t")" "$(ls "$t" | wc -l)"
done
