#!/usr/bin/env bash
# Configures and builds one tree. Usage: scripts/build.sh [release|asan|tsan] [targets...]
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-release}
shift || true
case "$kind" in
  release) dir=build; flags=() ;;
  asan) dir=build-asan; flags=(-DLUMIVEX_SANITIZE=ON -DLUMIVEX_TESTS_ONLY=ON -DCMAKE_BUILD_TYPE=Debug) ;;
  tsan) dir=build-tsan; flags=(-DLUMIVEX_TSAN=ON -DLUMIVEX_TESTS_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac

export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja "${flags[@]}"
fi
cmake --build "$dir" -j "$(nproc)" ${1:+--target "$@"}
