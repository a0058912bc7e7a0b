#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing), then
# configures and builds. Safe to run again: it does nothing that is already done.
#
#   scripts/setup.sh           everything the test command needs
#   scripts/setup.sh --demo    only what the demo runs (scripts/demo.sh): the
#                              command line, the simulated logger and, with
#                              WITH_UI=1, the desktop window; no tests, no
#                              Windows cross build, no clang
#
# Switches (environment; 1 = yes, 0 = no; the defaults are those of the mode):
#   WITH_WINDOWS     the Windows command-line updater, cross-built and tested
#                    under Wine (about 1.4 GB: MinGW-w64, Wine and its prefix)
#   WITH_CLANG       clang and its sanitizer runtimes (sanitizer builds, fuzzing)
#   WITH_TEST_TOOLS  srecord, the Debian package tools, xvfb, Google Benchmark
#   WITH_UI          the Qt desktop window (Qt 6 is the largest download)
#   WERROR           1 builds with compiler warnings as errors, 0 without;
#                    unset leaves the build tree as it is (a new one: without)
#   BUILD_DIR (build), BUILD_TYPE (RelWithDebInfo), WIN_BUILD_DIR (BUILD_DIR-win)
set -euo pipefail
cd "$(dirname "$0")/.."

demo=0
case "${1:-}" in
  "") ;;
  --demo) demo=1 ;;
  -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) echo "setup.sh: unknown option $1" >&2; exit 2 ;;
esac
full=$((1 - demo))

BUILD_DIR=${BUILD_DIR:-build}
BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}
WITH_WINDOWS=${WITH_WINDOWS:-$full}
WITH_CLANG=${WITH_CLANG:-$full}
WITH_TEST_TOOLS=${WITH_TEST_TOOLS:-$full}
WITH_UI=${WITH_UI:-1}
if ((full)) && [ "$WITH_UI" != 1 ]; then
  echo "setup.sh: the test command tests the desktop window too; WITH_UI=0 goes with --demo only" >&2
  exit 2
fi
WIN_BUILD_DIR=${WIN_BUILD_DIR:-${BUILD_DIR}-win}

# Each package is here for a reason (see README "Dependencies"). The first
# ones are what the native programs need; GoogleTest only the test suite.
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libudev-dev libsqlite3-dev nettle-dev
)
if [ "$WITH_UI" = 1 ]; then
  PACKAGES+=(qt6-base-dev libgl-dev)
fi
if ((full)); then
  PACKAGES+=(libgtest-dev libgmock-dev umockdev libumockdev-dev)
fi
if [ "$WITH_TEST_TOOLS" = 1 ]; then
  PACKAGES+=(dpkg-dev file srecord xvfb xauth libbenchmark-dev lintian appstream)
fi
if [ "$WITH_CLANG" = 1 ]; then
  PACKAGES+=(clang libclang-rt-14-dev)
fi
if [ "$WITH_WINDOWS" = 1 ]; then
  PACKAGES+=(g++-mingw-w64-x86-64-posix wine wine64 wixl msitools x11-utils)
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

# Settings given here; what is not given keeps its value in the build tree.
# The demo shares the build tree with the test command, so it leaves the
# Wine tests and the warnings-as-errors setting of that tree alone instead
# of reconfiguring (and, for the compile flags, rebuilding) it.
options=(-DCMAKE_BUILD_TYPE="$BUILD_TYPE")
# What the native tree builds beside the programs (the cross build decides
# that for itself: programs only).
native=()
# The demo builds only the three programs it runs, and a build tree it makes
# leaves the tests and benchmarks out (no GoogleTest needed); the test command
# turns them on, in a tree of its own or in the demo's.
if ((full)); then
  native+=(-DZORVIK_BUILD_TESTS=ON -DZORVIK_BUILD_BENCH=ON -DZORVIK_BUILD_UI=ON)
elif [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  native+=(-DZORVIK_BUILD_TESTS=OFF -DZORVIK_BUILD_BENCH=OFF)
fi
# A demo without a display needs no window; one that wants it turns it on
# in a tree that was made without.
if ((demo)); then
  if [ "$WITH_UI" = 1 ]; then
    native+=(-DZORVIK_BUILD_UI=ON)
  elif [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
    native+=(-DZORVIK_BUILD_UI=OFF)
  fi
fi
case "${WERROR:-}" in
  "") ;;
  1) options+=(-DZORVIK_WERROR=ON) ;;
  0) options+=(-DZORVIK_WERROR=OFF) ;;
  *) echo "setup.sh: WERROR must be 1 or 0, not $WERROR" >&2; exit 2 ;;
esac

windows_exe=()
if [ "$WITH_WINDOWS" = 1 ]; then
  windows_exe=(-DZORVIK_WINDOWS_EXE="$(realpath -m "$WIN_BUILD_DIR/apps/cli/zorvik-updater-cli.exe")"
               -DZORVIK_WINDOWS_GUI_EXE="$(realpath -m "$WIN_BUILD_DIR/apps/windows/zorvik-updater.exe")")
elif ((full)); then
  windows_exe=(-DZORVIK_WINDOWS_EXE= -DZORVIK_WINDOWS_GUI_EXE=)
fi
cmake -S . -B "$BUILD_DIR" -G Ninja "${options[@]}" "${native[@]}" "${windows_exe[@]}" >/dev/null

if [ "$WITH_WINDOWS" = 1 ]; then
  # The cross build runs the image embedder of the native build.
  cmake --build "$BUILD_DIR" -j 2 --target embed_images
  cmake -S . -B "$WIN_BUILD_DIR" -G Ninja "${options[@]}" \
    --toolchain cmake/toolchain-mingw64.cmake \
    -DZORVIK_EMBED_IMAGES_EXECUTABLE="$(realpath "$BUILD_DIR/tools/embed_images")" >/dev/null
  cmake --build "$WIN_BUILD_DIR" -j 2 --target zorvik-updater-cli zorvik-updater zorvik-window-pilot
fi

if ((full)); then
  cmake --build "$BUILD_DIR" -j 2
else
  programs=(zorvik-updater-cli zorvik-logger-sim)
  [ "$WITH_UI" = 1 ] && programs+=(zorvik-updater)
  cmake --build "$BUILD_DIR" -j 2 --target "${programs[@]}"
fi
