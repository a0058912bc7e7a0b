#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing), then
# configures and builds. Safe to run again: it does nothing that is already done.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build}
BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}

# Each package is here for a reason (see README "Dependencies").
PACKAGES=(
  build-essential cmake ninja-build pkg-config dpkg-dev file
  libgtest-dev libgmock-dev
  libbenchmark-dev
  srecord
  qt6-base-dev libgl-dev libudev-dev
  xvfb xauth
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" >/dev/null
cmake --build "$BUILD_DIR" -j 2
