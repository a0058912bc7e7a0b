#!/usr/bin/env bash
# Builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j 2 --timeout 600
# The suite again under AddressSanitizer + UBSan and ThreadSanitizer, then
# each fuzz target for a bounded time (FUZZ_SECONDS, default 30).
./scripts/sanitizers.sh
./scripts/fuzz.sh
