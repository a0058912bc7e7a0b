#!/usr/bin/env bash
# Sets everything up, starts the simulated logger on a pseudo-terminal and
# runs a complete update against it: in the desktop application when a
# display is available (answer "Yes" to its question), otherwise (or with
# DEMO_CLI=1) with the command-line updater and its progress bar.
# Arguments go to the simulator, e.g. --wire-timing for the real 9600-baud
# pace (about four minutes).
#
# Installs only what the native build and its programs need (setup.sh --demo:
# no Windows cross build, no Wine, no clang); compiler warnings do not stop
# its build unless the build tree was set up that way (scripts/test.sh does).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --demo
BUILD_DIR=${BUILD_DIR:-build}

fifo=$(mktemp -u)
mkfifo "$fifo"
"$BUILD_DIR/sim/zorvik-logger-sim" "$@" >"$fifo" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; rm -f "$fifo"' EXIT
exec 3<"$fifo"
read -r port <&3
echo "Simulated logger on $port"

desktop="$BUILD_DIR/apps/desktop/zorvik-updater"
if [ -z "${DEMO_CLI:-}" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$desktop" ]; then
  "$desktop" --port "$port" --start
else
  "$BUILD_DIR/apps/cli/zorvik-updater-cli" --port "$port" --yes
fi
