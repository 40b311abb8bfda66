#!/usr/bin/env bash
# Installs what is missing, builds every test with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs them. A second run is incremental.
# In CI (CI=true) the fuzz targets then run 60 s each; QUORVENAL_FUZZ_SECONDS=N runs them N s
# each anywhere (0 skips them in CI too).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
build="$here/build/test"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUORVENAL_SANITIZE=ON -DQUORVENAL_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure

fuzz_seconds=${QUORVENAL_FUZZ_SECONDS:-}
[[ -z $fuzz_seconds && ${CI:-} == true ]] && fuzz_seconds=60
if [[ -n $fuzz_seconds && $fuzz_seconds != 0 ]]; then
  bash "$here/scripts/fuzz.sh" "$fuzz_seconds"
fi
