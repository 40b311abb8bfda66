#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build/fuzz, writes their seed corpora with the program's own writers and the instrument files
# of ../shared/fcs-samples, and runs each target for SECONDS. Fails on any crash, leak, hang or
# out-of-memory; the inputs that caused them are kept in build/fuzz/artifacts.
# Usage: fuzz.sh SECONDS [TARGET...]   (targets: FcsReadFuzz ProtocolFuzz UnpackFuzz DataFileFuzz
#   FitnessFuzz FitnessReportFuzz GenotypeFileFuzz MatrixFuzz SettingsFuzz RtfFuzz; all by default)
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
status=0
for t in "${targets[@]}"; do
  case $t in
    FcsReadFuzz) seeds=fcs; max_len=65536 ;;
    ProtocolFuzz) seeds=protocol; max_len=16384 ;;
    # Every run packs and unpacks through 1 MB buffers: small inputs keep it exploring.
    UnpackFuzz) seeds=unpack; max_len=4096 ;;
    DataFileFuzz) seeds=datafile; max_len=16384 ;;
    # Four data files an input, each loaded and classified.
    FitnessFuzz) seeds=fitness; max_len=32768 ;;
    FitnessReportFuzz) seeds=fitness-report; max_len=6144 ;;
    GenotypeFileFuzz) seeds=genotype; max_len=2048 ;;
    MatrixFuzz) seeds=matrix; max_len=2048 ;;
    SettingsFuzz) seeds=settings; max_len=4096 ;;
    RtfFuzz) seeds=rtf; max_len=4096 ;;
    *) echo "Unknown fuzz target $t" >&2; exit 2 ;;
  esac
  corpus="$build/corpus/$t"
  mkdir -p "$corpus" "$build/artifacts"
  log="$build/$t.log"
  echo "== $t: $seconds s"
  # -timeout: one input running 10 s is a hang; the outer timeout catches a fuzzer that never stops.
  if timeout --signal=KILL $((seconds + 300)) "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -malloc_limit_mb=1024 -max_len="$max_len" -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$t-" "$corpus" "$build/seeds/$seeds" >"$log" 2>&1; then
    echo "$t: no findings, $(grep -o 'cov: [0-9]*' "$log" | tail -1), $(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -1)"
  else
    status=1
    echo "$t: FINDING (log $log)" >&2
    grep -E 'ERROR|SUMMARY|==[0-9]+==|Test unit written' "$log" | head -20 >&2 || tail -30 "$log" >&2
  fi
done
exit $status
