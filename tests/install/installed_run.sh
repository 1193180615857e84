#!/usr/bin/env bash
# The client package as a user meets it: the .deb extracted into a read-only
# root, its lumivexctl run by a user whose HOME is a fresh folder, against
# lumivex-sim on loopback. Sign-in, devices and a 5 s watch with a recording
# must succeed and every file must land in that HOME's XDG folders.
# Usage: installed_run.sh PACKAGE_DIR SIM SCENARIO
# Exit 77 (skipped) when no client package was built.
set -euo pipefail

package_dir=$1 sim=$2 scenario=$3
deb=$(find "$package_dir" -maxdepth 1 -name '*.deb' ! -name '*sim*' 2>/dev/null | head -1)
if [ -z "$deb" ]; then
  echo "skipped: no client package in $package_dir (scripts/package.sh makes it)"
  exit 77
fi

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

root=$work/root
dpkg-deb -x "$deb" "$root"
chmod -R a-w "$root"

# The user: nobody when we are root (root writes anywhere, read-only or not).
home=$work/home
mkdir -p "$home"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown nobody "$home"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

mkdir -p "$work/sim"
chmod 755 "$work/sim"
"$sim" --scenario "$scenario" --state "$work/sim" --host 127.0.0.1 --port 0 --lan-port 0 \
  > "$work/sim.out" 2> "$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q 'ready web=' "$work/sim.out" && break
  kill -0 "$sim_pid" 2>/dev/null || fail "the sim ended: $(cat "$work/sim.err")"
  sleep 0.1
done
ready=$(grep -m1 'ready web=' "$work/sim.out") || fail "the sim did not get ready in 10 s"
web=$(sed -n 's/.*web=\([0-9]*\).*/\1/p' <<<"$ready")
lan=$(sed -n 's/.*lan=\([0-9]*\).*/\1/p' <<<"$ready")
ca=$(sed -n 's/.*ca=\([^ ]*\).*/\1/p' <<<"$ready")
chmod a+r "$ca"

ctl() {
  env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "${as_user[@]}" "$root/usr/bin/lumivexctl" \
    --host 127.0.0.1 --port "$web" --web-port "$web" --ca-file "$ca" --local-net 127.0.0.1/255.0.0.0 \
    --lan-port "$lan" -u demo -p demo123 "$@"
}

ctl login > "$work/login.out" 2>&1 || fail "sign-in: $(cat "$work/login.out")"
ctl devices > "$work/devices.out" 2>&1 || fail "devices: $(cat "$work/devices.out")"
grep -q '"sid":"cam01"' "$work/devices.out" || fail "cam01 not listed: $(cat "$work/devices.out")"
ctl watch cam01 --seconds 5 --record > "$work/watch.out" 2>&1 || fail "watch: $(cat "$work/watch.out")"
grep -qx 'state: playing' "$work/watch.out" || fail "never played: $(cat "$work/watch.out")"

recording=$(sed -n 's/^recording: //p' "$work/watch.out" | head -1)
[ -n "$recording" ] || fail "no recording: $(cat "$work/watch.out")"
[ -s "$recording" ] || fail "the recording $recording is empty or missing"
case "$recording" in
  "$home"/*) ;;
  *) fail "the recording $recording is not under HOME" ;;
esac
[ -f "$home/.config/lumivex/config/demo_config.xml" ] || fail "no user configuration under ~/.config/lumivex"
grep -q 'INFO  lumivexctl: signed in as demo' "$home/.local/state/lumivex/lumivexctl.log" ||
  fail "no sign-in in ~/.local/state/lumivex/lumivexctl.log"
strays=$(find "$work/root" -newer "$deb" -type f | head -5)
[ -z "$strays" ] || fail "files written into the installed root: $strays"

echo "installed run: $(basename "$deb"): signed in, $(grep -c '"sid"' "$work/devices.out") devices,"\
  "recording ${recording#"$home"/} ($(stat -c %s "$recording") bytes)"
