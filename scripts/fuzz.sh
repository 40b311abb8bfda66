#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build/fuzz, writes their seed corpora with the program's own writers and the instrument files
# of ../shared/fcs-samples, and runs each target for SECONDS: most of it on short inputs, so
# that coverage grows fast, the rest (FUZZ_LONG_SHARE percent, default 34) on inputs of up to
# 256 KB, where structures repeat often enough to show work out of proportion to the input. Fails
# on any crash, leak, hang, out-of-memory or run beyond its work budget (fuzz/FuzzSupport.h); the
# inputs that caused them are kept in build/fuzz/artifacts.
# Usage: fuzz.sh SECONDS [TARGET...]   (targets: FcsReadFuzz ProtocolFuzz UnpackFuzz DataFileFuzz
#   FitnessFuzz FitnessReportFuzz GenotypeFileFuzz MatrixFuzz SettingsFuzz RtfFuzz; all by default)
# FUZZ_JOBS=N runs N targets at once (default 1); FUZZ_BUILD_JOBS sets the build's parallelism.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: fuzz.sh SECONDS [TARGET...]}
shift
targets=("$@")
((${#targets[@]})) || targets=(FcsReadFuzz ProtocolFuzz UnpackFuzz DataFileFuzz FitnessFuzz FitnessReportFuzz
  GenotypeFileFuzz MatrixFuzz SettingsFuzz RtfFuzz)

sudo_cmd=""
[[ $(id -u) -ne 0 ]] && sudo_cmd="sudo"
install() {
  echo "Installing: $*"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "$@"
}
bash "$here/scripts/install-deps.sh"
command -v clang++ >/dev/null || install clang
# The fuzzer's runtime comes in a package of its own on some releases.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/p.cpp"
if ! clang++ -fsanitize=fuzzer "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
  major=$(clang++ -dumpversion | cut -d. -f1)
  install "libclang-rt-$major-dev"
fi

build="$here/build/fuzz"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUORVENAL_FUZZ=ON -DQUORVENAL_TESTS=OFF -DQUORVENAL_BENCH=OFF >/dev/null
cmake --build "$build" -j"${FUZZ_BUILD_JOBS:-4}" --target make_seeds "${targets[@]}"

# Fresh seeds on every run; what the fuzzer finds beyond them stays in corpus/ between runs.
rm -rf "$build/seeds"
"$build/fuzz/make_seeds" "$build/seeds" "$here/../shared/fcs-samples"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
long_share=${FUZZ_LONG_SHARE:-34}
long_seconds=$((seconds * long_share / 100))
short_seconds=$((seconds - long_seconds))
# One phase of one target: Target Seeds Phase MaxLen Timeout Seconds. A line of result (or the
# finding) on stdout; fails on a finding.
run_phase() {
  local t=$1 seeds=$2 phase=$3 max_len=$4 timeout_s=$5 phase_seconds=$6
  ((phase_seconds > 0)) || return 0
  local corpus="$build/corpus/$t" log="$build/$t-$phase.log"
  mkdir -p "$corpus" "$build/artifacts"
  # -timeout: one input running that long on the clock is a hang (the work budget, counted in
  # CPU time, stops slow runs first, even on a machine so busy that the clock runs far ahead of
  # the CPU time); the outer timeout catches a fuzzer that never stops. Long inputs take their
  # full length at once (-len_control=0) rather than growing towards it.
  local extra=()
  [[ $phase == long ]] && extra=(-len_control=0)
  if timeout --signal=KILL $((phase_seconds + 300)) "$build/fuzz/$t" -max_total_time="$phase_seconds" \
      -timeout="$timeout_s" -rss_limit_mb=2048 -malloc_limit_mb=1024 -max_len="$max_len" "${extra[@]}" \
      -dict="$build/seeds/$seeds.dict" -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
      "$corpus" "$build/seeds/$seeds" >"$log" 2>&1; then
    echo "$t ($phase inputs): no findings, $(grep -o 'cov: [0-9]*' "$log" | tail -1), $(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -1)"
  else
    echo "$t ($phase inputs): FINDING (log $log)"
    grep -E 'Broken|ERROR|SUMMARY|==[0-9]+==|Test unit written' "$log" | head -20 || tail -30 "$log"
    return 1
  fi
}

# One target: its short phase, then its long one, each reported.
run_target() {
  local t=$1 seeds max_len
  case $t in
    FcsReadFuzz) seeds=fcs; max_len=65536 ;;
    ProtocolFuzz) seeds=protocol; max_len=16384 ;;
    # Every run packs and unpacks through 1 MB buffers: small inputs keep it exploring.
    UnpackFuzz) seeds=unpack; max_len=4096 ;;
    DataFileFuzz) seeds=datafile; max_len=16384 ;;
    FitnessFuzz) seeds=fitness; max_len=32768 ;;
    FitnessReportFuzz) seeds=fitness-report; max_len=6144 ;;
    GenotypeFileFuzz) seeds=genotype; max_len=2048 ;;
    MatrixFuzz) seeds=matrix; max_len=2048 ;;
    SettingsFuzz) seeds=settings; max_len=4096 ;;
    RtfFuzz) seeds=rtf; max_len=4096 ;;
    *) echo "Unknown fuzz target $t"; return 2 ;;
  esac
  local rc=0
  run_phase "$t" "$seeds" short "$max_len" 30 "$short_seconds" || rc=1
  run_phase "$t" "$seeds" long 262144 60 "$long_seconds" || rc=1
  return $rc
}

# FUZZ_JOBS targets run at once (1 unless set); each reports when it ends.
jobs_at_once=${FUZZ_JOBS:-1}
results=$(mktemp -d)
trap 'rm -rf "$probe" "$results"' EXIT
echo "Fuzzing ${#targets[@]} target(s) for $seconds s each, $jobs_at_once at a time"
for t in "${targets[@]}"; do
  while (($(jobs -rp | wc -l) >= jobs_at_once)); do wait -n || true; done
  (
    rc=0
    run_target "$t" >"$results/$t.out" 2>&1 || rc=$?
    echo $rc >"$results/$t.rc"
  ) &
done
wait
status=0
for t in "${targets[@]}"; do
  if [[ $(cat "$results/$t.rc") == 0 ]]; then
    cat "$results/$t.out"
  else
    cat "$results/$t.out" >&2
    status=1
  fi
done
exit $status
