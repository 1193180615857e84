#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: the normal build and its
# Debian package, then the tests again under AddressSanitizer and UBSan, then
# a short run of every fuzz target (build-fuzz/, clang). With --tsan it runs
# the core's tests under ThreadSanitizer instead (a tree of its own,
# build-tsan/).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--tsan" ]; then
  scripts/install-deps.sh
  scripts/build.sh tsan
  export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1"
  echo "== tests (ThreadSanitizer) =="
  exec ctest --test-dir build-tsan --output-on-failure -j "$(nproc)" --timeout 900
fi

scripts/install-deps.sh
scripts/build.sh release
# The .deb from the release tree, for the package tests (label "package").
scripts/package.sh build
scripts/build.sh asan

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== tests (release build) =="
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 300
echo "== tests (AddressSanitizer + UBSan) =="
ctest --test-dir build-asan --output-on-failure -j "$(nproc)" --timeout 600
echo "== fuzz targets (smoke: a few seconds each) =="
scripts/fuzz.sh 3
