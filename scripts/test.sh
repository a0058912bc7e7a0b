#!/usr/bin/env bash
# Builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j 2 --timeout 600
