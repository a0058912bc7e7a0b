#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UBSan) in build-fuzz
# and runs each for a bounded time, starting from its seed corpus in
# fuzz/corpus/<target>/ (new inputs go to a scratch folder, never into the
# repository). A crash fails the script and leaves the input that made it in
# build-fuzz/fuzz/<target>-crash-*.
#   FUZZ_SECONDS   seconds per target (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-20}
targets=(record_codec image_file engine_replies)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVIK_FUZZ=ON \
  -DZORVIK_BUILD_TESTS=OFF -DZORVIK_BUILD_BENCH=OFF -DZORVIK_BUILD_UI=OFF >/dev/null
cmake --build build-fuzz -j 2 --target "${targets[@]/#/fuzz_}"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for t in "${targets[@]}"; do
  mkdir -p "$scratch/$t"
  log="$scratch/$t.log"
  if build-fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="build-fuzz/fuzz/$t-" "$scratch/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $t: $runs inputs in ${seconds} s, no crash"
  else
    echo "fuzz: $t: FAILED"
    tail -n 60 "$log"
    status=1
  fi
done
exit $status
