#!/usr/bin/env bash
# Builds the benchmarks optimised (no sanitizers) and runs them.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh" --ui
build="$here/build/bench"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVENAL_BENCH=ON -DQUORVENAL_UI=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
for b in "$build"/bench/*; do
  [[ -x "$b" && -f "$b" ]] && "$b" "$@"
done
