#!/usr/bin/env bash
# Pictures of the desktop application for the README: runs one update of the
# simulated logger through the window under a virtual X display and saves
# the idle window, a running update, the success message and the firmware
# overview as PNG files in docs/screenshots/.
#
# Expects a configured build tree (BUILD_DIR, default build/); brings the two
# programs it needs up to date there. Needs xvfb-run (package xvfb).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=$root/docs/screenshots

if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "no build tree in $build: run scripts/test.sh (or cmake) first, or set BUILD_DIR" >&2
  exit 1
fi
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (apt-get install xvfb)" >&2; exit 1; }
cmake --build "$build" -j 2 --target zorvik-updater zorvik-logger-sim

scratch=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# Service mode, so that the report window is part of the pictures; the
# settings live in the scratch directory, not in the user's own.
mkdir -p "$scratch/Harventa"
printf '[General]\nintern=7406\n' > "$scratch/Harventa/Qorn.conf"

# The line at 20 times its real pace: slow enough to catch the update under way.
"$build/sim/zorvik-logger-sim" --wire-timing --clock-scale 20 > "$scratch/sim.out" &
sim_pid=$!
for _ in $(seq 50); do
  [ -s "$scratch/sim.out" ] && break
  sleep 0.1
done
port=$(head -n 1 "$scratch/sim.out")
[ -n "$port" ] || { echo "the simulated logger did not start" >&2; exit 1; }

mkdir -p "$out"
XDG_CONFIG_HOME=$scratch QT_QPA_PLATFORM=xcb timeout 300 \
  xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/apps/desktop/zorvik-updater" --screenshot-dir "$out" --screenshot-port "$port"

ls -1 "$out"/*.png
