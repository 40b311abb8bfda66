#!/usr/bin/env bash
# The first road of a file in a fresh process, ours against what a numpy user writes: generates
# a 1,000,000 x 8 float FCS file (and one of 10,000,000 events unless --no-big), then runs the
# numpy road (bench/python_reader.py road) and ours (bench/FreshRoadBench: FreshRoad, then
# FreshAnalysis) alternately, each run a fresh process, after one untimed round, and prints both
# medians, the ratio, the slowest run, every run with its system time and the peak memory; then
# the same on 10,000,000 events. Then the numpy reader alone against ours, warm, in one run. The
# machine's load before and after is printed: on a busy machine both roads slow down.
# Usage: compare-python-reader.sh [ROUNDS] [--no-big]   (Release build in build/rel)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
rounds=10
big=1
for arg in "$@"; do
  case "$arg" in
    --no-big) big=0 ;;
    *) rounds=$arg ;;
  esac
done
py=/usr/bin/python3
"$py" -c 'import numpy' 2>/dev/null || bash "$here/scripts/install-deps.sh" --numpy
build="$here/build/rel"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVENAL_TESTS=ON -DQUORVENAL_BENCH=ON -DQUORVENAL_UI=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$build" -j4 --target FreshRoadBench FcsReadBench >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$py" "$here/bench/python_reader.py" write "$tmp/float.fcs"
bigfile=()
if ((big)); then
  "$py" "$here/bench/python_reader.py" write "$tmp/float10.fcs" 10000000
  bigfile=("$tmp/float10.fcs")
fi
echo "THP enabled: $(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null || echo none)," \
     "defrag: $(cat /sys/kernel/mm/transparent_hugepage/defrag 2>/dev/null || echo none)"
"$py" "$here/bench/python_reader.py" compare "$tmp/float.fcs" "$build/bench/FreshRoadBench" "$rounds" "${bigfile[@]}"
echo "Reading alone, warm, one process each:"
"$py" "$here/bench/python_reader.py" time "$tmp/float.fcs"
QUORVENAL_BENCH_FCS="$tmp/float.fcs" "$build/bench/FcsReadBench" --benchmark_filter=BM_ReadGivenFile \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null | grep -E 'median'
