#!/usr/bin/env bash
# Pictures of the desktop application for the README: runs one update of the
# simulated logger through the window under a virtual X display and saves
# the idle window, a running update, the success message and the firmware
# overview as PNG files in docs/screenshots/; then runs the station view on
# a folder of links to four simulated loggers (two that pass, one pulled out
# in the middle of its update, one under way) and saves station.png.
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
cmake --build "$build" -j 2 --target zorvik-screenshot-tour zorvik-logger-sim

scratch=$(mktemp -d)
sim_pid=
station_sims=()
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
  for pid in "${station_sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

# Starts a simulated logger with the given options; its device path in $sim_port.
start_sim() {
  local out=$scratch/sim-$RANDOM.out
  "$build/sim/zorvik-logger-sim" "$@" > "$out" &
  station_sims+=($!)
  for _ in $(seq 50); do
    [ -s "$out" ] && break
    sleep 0.1
  done
  sim_port=$(head -n 1 "$out")
  [ -n "$sim_port" ] || { echo "a simulated logger did not start" >&2; exit 1; }
}

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
  "$build/tools/screenshot_tour/zorvik-screenshot-tour" --screenshot-dir "$out" --screenshot-port "$port"

# The station view. Its update history goes to the scratch directory, not
# into the user's own.
watch=$scratch/watch
mkdir -p "$watch"
# A screen of 1280x800, the smallest the station view is laid out for.
XDG_CONFIG_HOME=$scratch XDG_DATA_HOME=$scratch/data QT_QPA_PLATFORM=xcb timeout 300 \
  xvfb-run -a -s "-screen 0 1280x800x24" \
  "$build/tools/screenshot_tour/zorvik-screenshot-tour" --station --watch-dir "$watch" --screenshot-dir "$out" &
station_pid=$!
sleep 3
start_sim --serial 410001
ln -s "$sim_port" "$watch/usb-FTDI_FT232R_USB_UART_A10K3F7Q-if00-port0"
start_sim --serial 410002
ln -s "$sim_port" "$watch/usb-FTDI_FT232R_USB_UART_A10K3F8M-if00-port0"
# At 20 times the real pace of the line: slow enough to be pulled out in the
# middle, and to be caught under way.
start_sim --serial 410003 --wire-timing --clock-scale 20
ln -s "$sim_port" "$watch/usb-FTDI_FT232R_USB_UART_A10K3F9B-if00-port0"
start_sim --serial 410004 --wire-timing --clock-scale 20
ln -s "$sim_port" "$watch/usb-FTDI_FT232R_USB_UART_A10K3FAC-if00-port0"
sleep 4
rm "$watch/usb-FTDI_FT232R_USB_UART_A10K3F9B-if00-port0"
# The picture is taken once PASS, UNPLUGGED and an update under way are all there;
# the station then closes itself.
wait "$station_pid"

ls -1 "$out"/*.png
