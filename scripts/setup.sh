#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing), then
# configures and builds. Safe to run again: it does nothing that is already done.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build}
BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}
# The Windows command-line updater is cross-built and tested under Wine;
# WITH_WINDOWS=0 leaves that out (it needs about 1.4 GB: Wine and its prefix).
WITH_WINDOWS=${WITH_WINDOWS:-1}
WIN_BUILD_DIR=${WIN_BUILD_DIR:-${BUILD_DIR}-win}

# Each package is here for a reason (see README "Dependencies").
PACKAGES=(
  build-essential cmake ninja-build pkg-config dpkg-dev file
  libgtest-dev libgmock-dev
  libbenchmark-dev
  srecord
  qt6-base-dev libgl-dev libudev-dev
  xvfb xauth
  clang libclang-rt-14-dev
)
if [ "$WITH_WINDOWS" = 1 ]; then
  PACKAGES+=(g++-mingw-w64-x86-64-posix wine wine64)
fi

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

windows_exe=""
if [ "$WITH_WINDOWS" = 1 ]; then
  windows_exe=$(realpath -m "$WIN_BUILD_DIR/apps/cli/zorvik-updater-cli.exe")
fi
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" -DZORVIK_WINDOWS_EXE="$windows_exe" >/dev/null

if [ "$WITH_WINDOWS" = 1 ]; then
  # The cross build runs the image embedder of the native build.
  cmake --build "$BUILD_DIR" -j 2 --target embed_images
  cmake -S . -B "$WIN_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" \
    --toolchain cmake/toolchain-mingw64.cmake \
    -DZORVIK_EMBED_IMAGES_EXECUTABLE="$(realpath "$BUILD_DIR/tools/embed_images")" >/dev/null
  cmake --build "$WIN_BUILD_DIR" -j 2 --target zorvik-updater-cli
fi

cmake --build "$BUILD_DIR" -j 2
