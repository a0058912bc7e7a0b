#!/usr/bin/env bash
# Builds the benchmarks (Release, own build directory, two jobs), runs every
# benchmark several times and writes the results tables into BENCHMARKS.md
# (between its "results" and "station-results" markers; the text around them
# is kept).
#
#   scripts/bench.sh            default suite, about ten minutes: the wire runs
#                               use the simulator's clock ×10
#   scripts/bench.sh --full     adds the real 9600-baud runs (clock ×1): one
#                               in-process update and one command-line update
#                               of image 12, about four minutes each, and 1, 2
#                               and 4 loggers at once (image 1), about 2.6
#                               minutes per count
#   --runs N                    repetitions of each update measurement (default 3)
#   --station-only              only section 5 (several loggers at once, idle
#                               station); rewrites only its own table
#   STATION_X1_LOGGERS=1,2,4,8  the logger counts of the ×1 runs (default 1,2,4)
#
# Raw output of every program goes to $BUILD_DIR/bench-logs/.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BENCH_BUILD_DIR:-build-bench}
FULL=0
RUNS=3
STATION_ONLY=0
STATION_X1_LOGGERS=${STATION_X1_LOGGERS:-1,2,4}
while (($#)); do
  case "$1" in
    --full) FULL=1 ;;
    --runs) RUNS=${2:?--runs needs a number}; shift ;;
    --station-only) STATION_ONLY=1 ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR" -j 2 --target codec_bench update_bench process_bench station_bench zorvik-logger-sim zorvik-updater-cli

# The desktop application is optional here: without it (no Qt, or it does
# not build) its figures are reported as not measured.
DESKTOP_NOTE=""
if ((STATION_ONLY)); then
  :
elif ! cmake --build "$BUILD_DIR" -j 2 --target zorvik-updater zorvik_window_probe >"$BUILD_DIR/desktop-build.log" 2>&1; then
  DESKTOP_NOTE="the desktop application or its probe did not build (see $BUILD_DIR/desktop-build.log)"
fi

B=$BUILD_DIR
SIM=$B/sim/zorvik-logger-sim
CLI=$B/apps/cli/zorvik-updater-cli
APP=$B/apps/desktop/zorvik-updater
PROBE=$(realpath "$B/bench/libzorvik_window_probe.so" 2>/dev/null || true)
LOGS=$B/bench-logs
ROWS=$LOGS/rows.md
STATION_ROWS=$LOGS/station-rows.md
mkdir -p "$LOGS"
: >"$ROWS"
: >"$STATION_ROWS"
# The desktop runs get an empty settings directory: normal mode, as a user
# who never unlocked the service mode meets the program.
XDG_EMPTY=$(mktemp -d)
# Every update is recorded in the update history: the benchmark's go into a
# scratch folder, not into the history of the user who runs it.
export XDG_DATA_HOME
XDG_DATA_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_EMPTY" "$XDG_DATA_HOME"' EXIT

LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
START=$(date +%s)

# The table the rows go to: the main one, or section 5's own.
TABLE=$ROWS
section() { echo "| **$1** | | | | | |" >>"$TABLE"; }
# Runs one benchmark program; its table rows go to the table, all of its
# output to its log. A program that fails leaves a row saying so.
measure() {
  local log=$LOGS/$1.log
  shift
  echo "bench: $*" >&2
  if "$@" >"$log" 2>&1; then
    grep '^| ' "$log" >>"$TABLE" || true
  else
    echo "| $(basename "$log" .log) | failed | | | | (see $log) |" >>"$TABLE"
  fi
}
not_measured() { echo "| $1 | not measured | | | $2 | ($3) |" >>"$TABLE"; }

# Sections 1 to 4: the main table.
if ((!STATION_ONLY)); then

section "1. Wire efficiency (update time ÷ wire-time limit)"
measure wire-12-x10 "$B/bench/update_bench" wire --image 12 --scale 10 --runs "$RUNS"
measure wire-05-x10 "$B/bench/update_bench" wire --image 5 --scale 10 --runs "$RUNS"
if ((FULL)); then
  measure wire-12-x1 "$B/bench/update_bench" wire --image 12 --scale 1 --runs 1
fi

section "2. Host overhead"
measure overhead "$B/bench/update_bench" overhead --image 12 --runs 9
measure cli-update-x10 "$B/bench/process_bench" update --sim "$SIM" --scale 10 --runs "$RUNS" \
  --label "Command line" --rss-target-mb 10 -- "$CLI" --port "{port}" --yes
if ((FULL)); then
  measure cli-update-x1 "$B/bench/process_bench" update --sim "$SIM" --scale 1 --runs 1 \
    --label "Command line" --rss-target-mb 10 -- "$CLI" --port "{port}" --yes
fi

section "3. Start-up and footprint"
measure cli-startup "$B/bench/process_bench" startup --runs 15 --target-ms 20 \
  --label "command line, launch to first output of --list-images" -- "$CLI" --list-images
measure cli-help "$B/bench/process_bench" startup --runs 15 --target-ms 20 \
  --label "command line, launch to first output of --help" -- "$CLI" --help
if [[ -z $DESKTOP_NOTE && -x $APP && -n $PROBE ]]; then
  desktop_env=(--env QT_QPA_PLATFORM=offscreen --env "XDG_CONFIG_HOME=$XDG_EMPTY" --env "LD_PRELOAD=$PROBE")
  measure desktop-startup "$B/bench/process_bench" startup --runs 15 --target-ms 300 "${desktop_env[@]}" \
    --env ZORVIK_PROBE=quit --marker "main window exposed" \
    --label "desktop, launch to main window first exposed (offscreen)" -- "$APP"
  measure desktop-update-x10 "$B/bench/process_bench" update --sim "$SIM" --scale 10 --runs "$RUNS" \
    --label "Desktop" --rss-target-mb 60 "${desktop_env[@]}" --env "ZORVIK_PROBE=update:{port}" -- "$APP"
else
  DESKTOP_NOTE=${DESKTOP_NOTE:-"the desktop application was not built"}
  not_measured "Start-up: desktop, launch to main window first exposed" "< 300 ms" "$DESKTOP_NOTE"
  not_measured "Desktop update: peak RSS" "< 60 MB" "$DESKTOP_NOTE"
fi
size_row() {
  local file=$1 name=$2 stripped
  [[ -f $file ]] || return 0
  stripped=$(mktemp)
  strip -o "$stripped" "$file"
  echo "| Size: $name, unstripped / stripped | $(($(stat -c %s "$file") / 1024)) / $(($(stat -c %s "$stripped") / 1024)) KiB | | 1 | — | — |" >>"$ROWS"
  rm -f "$stripped"
}
size_row "$CLI" zorvik-updater-cli
size_row "$APP" zorvik-updater

section "4. Codec and catalogue (CPU time per call)"
echo "bench: $B/bench/codec_bench" >&2
"$B/bench/codec_bench" --benchmark_repetitions=7 --benchmark_format=csv >"$LOGS/codec.csv" 2>"$LOGS/codec.err"
awk -F, '
  BEGIN {
    label["\"BM_EncodeRecord\""] = "encodeRecord, 64-byte record to a 139-character line"
    label["\"BM_DecodeRecord\""] = "decodeRecord, 139-character line"
    label["\"BM_CatalogueAllLinesQuery\""] = "all 8,404 built-in lines, QueryFirmware kind 2"
    label["\"BM_CatalogueAllLinesSelected\""] = "all 8,404 built-in lines, SelectedImage + GetFirmwareLine"
  }
  ($1 in label) { n[$1]++; v[$1, n[$1]] = $4; unit[$1] = $5; if (!($1 in seen)) { seen[$1] = 1; order[++k] = $1 } }
  END {
    for (o = 1; o <= k; o++) {
      name = order[o]; m = n[name]
      for (i = 1; i <= m; i++) a[i] = v[name, i]
      for (i = 2; i <= m; i++) { x = a[i]; for (j = i - 1; j >= 1 && a[j] > x; j--) a[j + 1] = a[j]; a[j + 1] = x }
      med = (m % 2) ? a[(m + 1) / 2] : (a[m / 2] + a[m / 2 + 1]) / 2
      u = unit[name] == "us" ? "µs" : unit[name]
      printf "| Codec/catalogue: %s | %.1f %s | %.1f–%.1f | %d | — | — |\n", label[name], med, u, a[1], a[m], m
    }
  }' "$LOGS/codec.csv" >>"$ROWS"
MAIN_ELAPSED=$(($(date +%s) - START))
fi  # sections 1 to 4

# Section 5 has its own table, so that it can be run on its own (--station-only).
TABLE=$STATION_ROWS
STATION_START=$(date +%s)
STATION_LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
section "5. Several loggers at once, one process (image 1); idle station"
# Image 1 is the smallest built-in image: 145,709 characters on the wire in
# both directions, 151.8 s at 9600 baud, plus 2.7 s of fixed pauses. Every
# simulator wakes once per character it sends, at ×10 ten times as often, so
# there the larger counts also measure how promptly two cores serve the
# simulators; the ×1 runs decide.
measure station-x10 "$B/bench/station_bench" ports --cli "$CLI" --loggers 1,2,4,8 --scale 10 --runs "$RUNS"
if ((FULL)); then
  measure station-x1 "$B/bench/station_bench" ports --cli "$CLI" --loggers "$STATION_X1_LOGGERS" --scale 1 --runs 1
fi
measure station-idle "$B/bench/station_bench" idle --cli "$CLI" --seconds 30 --runs 1
STATION_ELAPSED=$(($(date +%s) - STATION_START))

MODE="scripts/bench.sh"
((FULL)) && MODE="$MODE --full"
((RUNS != 3)) && MODE="$MODE --runs $RUNS"
STATION_MODE=$MODE
((STATION_ONLY)) && STATION_MODE="$STATION_MODE --station-only"
[[ $FULL == 1 && $STATION_X1_LOGGERS != 1,2,4 ]] && STATION_MODE="STATION_X1_LOGGERS=$STATION_X1_LOGGERS $STATION_MODE"
CPU_MODEL=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')

# Replaces the block between <!-- NAME:begin and <!-- NAME:end in
# BENCHMARKS.md (the text around it is kept), or adds it at the end.
write_block() {
  local name=$1 rows=$2 command=$3 elapsed=$4 load=$5 generated
  generated=$(mktemp)
  {
    echo "<!-- $name:begin (written by scripts/bench.sh; edits here are overwritten) -->"
    echo
    echo "Command: \`$command\` — $(date -u '+%Y-%m-%d %H:%M UTC'), ${elapsed} s."
    echo "Machine: ${CPU_MODEL}, $(nproc) cores, $(($(awk '/MemTotal/ {print $2}' /proc/meminfo) / 1024)) MiB,"
    echo "Linux $(uname -r), $(c++ --version | head -1), Release build."
    echo "Load average before the run: ${load} (other work on the machine shows up in the spreads)."
    echo
    echo "| Figure | Median | Spread (min–max) | Runs | Target | Result |"
    echo "|---|---|---|---|---|---|"
    cat "$rows"
    echo
    echo "<!-- $name:end -->"
  } >"$generated"
  if [[ -f BENCHMARKS.md ]] && grep -q "<!-- $name:begin" BENCHMARKS.md; then
    awk -v gen="$generated" -v begin="<!-- $name:begin" -v end="<!-- $name:end" '
      index($0, begin) == 1 { while ((getline line < gen) > 0) print line; skip = 1; next }
      index($0, end) == 1 { skip = 0; next }
      !skip { print }' BENCHMARKS.md >BENCHMARKS.md.new
    mv BENCHMARKS.md.new BENCHMARKS.md
  elif [[ -f BENCHMARKS.md ]]; then
    { echo; cat "$generated"; } >>BENCHMARKS.md
  else
    { echo "# Benchmarks"; echo; cat "$generated"; } >BENCHMARKS.md
  fi
  rm -f "$generated"
}

if ((!STATION_ONLY)); then
  write_block results "$ROWS" "$MODE" "$MAIN_ELAPSED" "$LOAD_BEFORE"
  cat "$ROWS"
fi
write_block station-results "$STATION_ROWS" "$STATION_MODE" "$STATION_ELAPSED" "$STATION_LOAD_BEFORE"
cat "$STATION_ROWS"
echo "bench: results written to BENCHMARKS.md (logs in $LOGS)" >&2
