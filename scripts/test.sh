#!/usr/bin/env bash
# Installs what is missing, builds every test with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs them. A second run is incremental.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh" --ui
build="$here/build/test"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUORVENAL_SANITIZE=ON -DQUORVENAL_BENCH=ON -DQUORVENAL_UI=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure
