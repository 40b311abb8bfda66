#!/usr/bin/env bash
# Times a numpy reader (DATA straight into one array, as the public Python readers do) and our
# reader on the same 1,000,000 x 8 float file in one run. Needs a Release build with benchmarks
# (build/rel) and python3-numpy (installed here if missing).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
py=/usr/bin/python3
if ! "$py" -c 'import numpy' 2>/dev/null; then
  sudo=; [[ $(id -u) -ne 0 ]] && sudo=sudo
  $sudo apt-get install -y python3-numpy >/dev/null
fi
cmake -S "$here" -B "$here/build/rel" -DCMAKE_BUILD_TYPE=Release -DQUORVENAL_BENCH=ON >/dev/null
cmake --build "$here/build/rel" -j"$(nproc)" --target FcsReadBench >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$py" "$here/bench/python_reader.py" write "$tmp/float.fcs"
for round in 1 2 3; do
  "$py" "$here/bench/python_reader.py" time "$tmp/float.fcs"
  QUORVENAL_BENCH_FCS="$tmp/float.fcs" "$here/build/rel/bench/FcsReadBench" --benchmark_filter=BM_ReadGivenFile \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null | grep -E 'mean|min|median'
done
