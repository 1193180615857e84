#!/usr/bin/env bash
# Configures and builds one tree. Usage: scripts/build.sh [release|asan|tsan|fuzz] [targets...]
# fuzz: clang with libFuzzer; builds the fuzz targets and the sim unless told otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-release}
shift || true
case "$kind" in
  release) dir=build; flags=() ;;
  asan) dir=build-asan; flags=(-DLUMIVEX_SANITIZE=ON -DLUMIVEX_TESTS_ONLY=ON -DCMAKE_BUILD_TYPE=Debug) ;;
  tsan) dir=build-tsan; flags=(-DLUMIVEX_TSAN=ON -DLUMIVEX_TESTS_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  fuzz) dir=build-fuzz; flags=(-DLUMIVEX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
                               -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
        [ $# -eq 0 ] && set -- fuzz_all lumivex-sim ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac

export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
# ccache is an option of the tree (off by default); a tree configured before
# the option existed gets it on its next configure.
flags+=(-DLUMIVEX_CCACHE=ON)
if [ ! -f "$dir/build.ninja" ] || ! grep -q '^LUMIVEX_CCACHE:BOOL=ON$' "$dir/CMakeCache.txt"; then
  cmake -S . -B "$dir" -G Ninja "${flags[@]}"
fi
cmake --build "$dir" -j "$(nproc)" ${1:+--target "$@"}
