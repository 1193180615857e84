#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: the normal build, then the
# tests again under AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh release
scripts/build.sh asan

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== tests (release build) =="
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 300
echo "== tests (AddressSanitizer + UBSan) =="
ctest --test-dir build-asan --output-on-failure -j "$(nproc)" --timeout 600
