#!/usr/bin/env bash
# Installs what is missing, builds every test (with AddressSanitizer and UndefinedBehaviorSanitizer)
# and the windows, runs the tests, then the screenshot tour and the README check under Xvfb.
# A second run is incremental. In CI (CI=true) the fuzz targets then run 60 s each;
# QUORVENAL_FUZZ_SECONDS=N runs them N s each anywhere (0 skips them in CI too).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh" --ui --tests
build="$here/build/test"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUORVENAL_SANITIZE=ON -DQUORVENAL_BENCH=ON -DQUORVENAL_UI=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure

echo "Screenshot tour"
LSAN_OPTIONS="suppressions=$here/tests/ui/lsan.supp:print_suppressions=0" \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/quorvenal_tour" "$here/build/tour"
missing=0
while read -r png; do
  if [[ ! -s "$here/build/tour/$png" ]]; then
    echo "tour: $png is missing or empty" >&2
    missing=1
  fi
done <"$here/build/tour/manifest.txt"
((missing == 0)) || exit 1

echo "README check"
bash "$here/scripts/readme-check.sh"

fuzz_seconds=${QUORVENAL_FUZZ_SECONDS:-}
[[ -z $fuzz_seconds && ${CI:-} == true ]] && fuzz_seconds=60
if [[ -n $fuzz_seconds && $fuzz_seconds != 0 ]]; then
  # Half the cores fuzz at once: every target gets its time and CI stays short.
  FUZZ_JOBS=${FUZZ_JOBS:-$(( $(nproc) > 1 ? $(nproc) / 2 : 1 ))} bash "$here/scripts/fuzz.sh" "$fuzz_seconds"
fi
echo "All tests passed"
