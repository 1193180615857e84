#!/usr/bin/env bash
# Sets everything up and runs what the client can do so far.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh release

home=$(mktemp -d "${TMPDIR:-/tmp}/lumivex-demo-XXXXXX")
ctl="build/src/cli/lumivexctl --home $home"

echo "== network identity and service addresses =="
$ctl info || true
echo
echo "== a new user's configuration file =="
$ctl new-config demo
echo "-- $home/config/demo_config.xml (UTF-16LE with byte-order mark), as UTF-8:"
iconv -f UTF-16 -t UTF-8 "$home/config/demo_config.xml"
echo
echo
cat <<'TXT'
Coming next: the stand-in cloud lumivex-sim and every web operation in
lumivexctl, then live video, recording and audio, and then the desktop
client itself, which this command will start signed in to a demo account.
TXT
