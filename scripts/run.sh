#!/usr/bin/env bash
# Installs what is missing, builds the program with its windows and starts it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh" --ui
build="$here/build/release"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVENAL_UI=ON -DQUORVENAL_TESTS=OFF -DQUORVENAL_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
if [[ ! -x "$build/app/quorvenal" ]]; then
  echo "run.sh: the program was not built ($build/app/quorvenal is missing)" >&2
  exit 1
fi
exec "$build/app/quorvenal" "$@"
