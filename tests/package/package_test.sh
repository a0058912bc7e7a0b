#!/usr/bin/env bash
# Builds the Debian package, installs it into this system, uses the installed
# commands as a user would, removes the package and checks nothing is left.
# Exit 77 = skipped (not root, or no dpkg).
set -euo pipefail
build_dir=$1

if [ "$(id -u)" -ne 0 ] || ! command -v dpkg >/dev/null; then
  echo "SKIPPED: installing a package needs root and dpkg; run the suite as root to include this test"
  exit 77
fi

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  dpkg -r zorvik-updater >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

cd "$build_dir"
cpack -G DEB -B "$work" >/dev/null
deb=$(ls "$work"/zorvik-updater_*.deb)
echo "package: $(basename "$deb")"
dpkg-deb -f "$deb" Depends

dpkg -r zorvik-updater >/dev/null 2>&1 || true
dpkg -i "$deb" >/dev/null
mapfile -t files < <(dpkg -L zorvik-updater)

cd /
for cmd in zorvik-updater zorvik-updater-cli zorvik-logger-sim; do
  command -v "$cmd" >/dev/null || { echo "FAIL: $cmd not on PATH"; exit 1; }
  "$cmd" --help | grep -q "Usage" || { echo "FAIL: $cmd --help"; exit 1; }
done
[ -f /usr/share/applications/zorvik-updater.desktop ] || { echo "FAIL: no desktop entry"; exit 1; }
[ -f /usr/share/icons/hicolor/scalable/apps/zorvik-updater.svg ] || { echo "FAIL: no icon"; exit 1; }
for page in zorvik-updater-cli zorvik-updater zorvik-logger-sim; do
  [ -f "/usr/share/man/man1/$page.1.gz" ] || { echo "FAIL: no man page for $page"; exit 1; }
done
[ -f /usr/share/metainfo/zorvik-updater.metainfo.xml ] || { echo "FAIL: no AppStream metadata"; exit 1; }
[ -f /usr/share/doc/zorvik-updater/copyright ] || { echo "FAIL: no copyright file"; exit 1; }
[ -f /usr/lib/udev/rules.d/70-zorvik-logger.rules ] || [ -f /lib/udev/rules.d/70-zorvik-logger.rules ] \
  || { echo "FAIL: no udev rule"; exit 1; }

rows=$(zorvik-updater-cli --list-images | tail -n +2 | wc -l)
[ "$rows" -eq 12 ] || { echo "FAIL: --list-images printed $rows rows"; exit 1; }

fifo="$work/sim.out"
mkfifo "$fifo"
zorvik-logger-sim >"$fifo" &
sim_pid=$!
exec 3<"$fifo"
read -r port <&3
last=$(zorvik-updater-cli --port "$port" --yes | tail -n 1)
[ "$last" = "Update ZorvikB V6.26 succesfully completed." ] || { echo "FAIL: update ended with: $last"; exit 1; }
kill "$sim_pid"
sim_pid=""

dpkg -r zorvik-updater >/dev/null
for f in "${files[@]}"; do
  if [ -e "$f" ] && [ ! -d "$f" ]; then
    echo "FAIL: $f left behind after removal"
    exit 1
  fi
done
echo "package installed, used and removed cleanly"
