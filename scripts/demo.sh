#!/usr/bin/env bash
# Sets everything up, starts the simulated logger on a pseudo-terminal and
# runs a complete update against it: in the desktop application when a
# display is available (answer "Yes" to its question), otherwise (or with
# DEMO_CLI=1) with the command-line updater and its progress bar.
# Arguments go to the simulator, e.g. --wire-timing for the real 9600-baud
# pace (about four minutes).
#
# Installs and builds only what it runs (setup.sh --demo): the command line
# and the simulated logger, and the desktop window only where it will be
# shown; no tests, no Windows cross build. Compiler warnings do not stop its
# build unless the build tree was set up that way (scripts/test.sh does).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
desktop="$BUILD_DIR/apps/desktop/zorvik-updater"
window=0
if [ -z "${DEMO_CLI:-}" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  window=1
fi
WITH_UI=$window ./scripts/setup.sh --demo

fifo=$(mktemp -u)
mkfifo "$fifo"
"$BUILD_DIR/sim/zorvik-logger-sim" "$@" >"$fifo" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; rm -f "$fifo"' EXIT
exec 3<"$fifo"
read -r port <&3
echo "Simulated logger on $port"

if [ "$window" = 1 ] && [ -x "$desktop" ]; then
  "$desktop" --port "$port" --start
else
  "$BUILD_DIR/apps/cli/zorvik-updater-cli" --port "$port" --yes
fi
