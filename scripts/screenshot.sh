#!/usr/bin/env bash
# A picture of the desktop client at work: set up as the demo is (lumivex-sim
# with the demo scenario, the demo account signed in by itself, every camera
# playing), under Xvfb, with the first wall window selected and recording.
# After SECONDS (default 20) the client saves its main window as a PNG and
# ends; the sim stops with it.
#
#   scripts/screenshot.sh FILE [SECONDS]
#
# LUMIVEX_BIN=DIR uses the programs in DIR instead of installing and building.
set -euo pipefail
[ $# -ge 1 ] && [ $# -le 2 ] || { sed -n '2,10p' "$0" >&2; exit 2; }
exec "$(dirname "$0")/demo.sh" --screenshot "$@"
