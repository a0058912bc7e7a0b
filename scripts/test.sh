#!/usr/bin/env bash
# Builds everything and runs every test. Every build here treats compiler
# warnings as errors, so that the tree stays clean with the compilers we test
# (GCC for the normal and the Windows build, clang for the sanitizer builds).
# The normal build is already optimised as a packager builds it
# (RelWithDebInfo: -O2, NDEBUG), so no separate Release build is made.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build}
started=$SECONDS
step() { echo "test: $1 (at $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s)"; }

# Every include names its layer and points down (no build needed).
step "layers of the source tree"
./scripts/check-layers.sh
step "packages, native and Windows builds"
WERROR=1 ./scripts/setup.sh
# The lower layers keep no state of their own in writable globals.
step "writable globals in the libraries of $build_dir"
./scripts/check-globals.sh "$build_dir"
step "test suite ($build_dir)"
ctest --test-dir "$build_dir" --output-on-failure -j 2 --timeout 600

# The suite again, built with clang, under AddressSanitizer + UBSan and
# ThreadSanitizer, then each fuzz target for a bounded time (FUZZ_SECONDS,
# default 20).
step "sanitizers"
./scripts/sanitizers.sh
step "fuzzing"
./scripts/fuzz.sh
step "all passed"
