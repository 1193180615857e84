#!/usr/bin/env bash
# Builds the Debian packages from a configured tree (default build/, the
# release tree of scripts/build.sh): lumivex (the client) and lumivex-sim.
# Only brings the tree up to date and runs cpack; prints the .deb paths.
# Usage: scripts/package.sh [TREE]
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${1:-build}
if [ ! -f "$dir/CPackConfig.cmake" ]; then
  echo "package.sh: $dir is not a configured tree (run scripts/build.sh release first)" >&2
  exit 2
fi
dir=$(cd "$dir" && pwd)

export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
cmake --build "$dir" -j "$(nproc)"
rm -rf "$dir/package"
# cpack installs into its own staging root; the prefix is the package's.
(cd "$dir" && cpack --config CPackConfig.cmake -G DEB -B "$dir/package" \
  -D CPACK_PACKAGING_INSTALL_PREFIX=/usr >"$dir/package.log") || {
  cat "$dir/package.log" >&2
  exit 1
}
rm -rf "$dir/package/_CPack_Packages"
ls "$dir"/package/*.deb
