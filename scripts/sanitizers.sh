#!/usr/bin/env bash
# The test suite under the sanitizers, built with clang (so that the suite also
# runs once built by a second compiler; the normal build is GCC's), each in a
# build directory of its own:
#   build-asan  AddressSanitizer + UndefinedBehaviorSanitizer, every test but
#               the package tests (they package and install the normal build)
#               and the tests that need Wine
#   build-tsan  ThreadSanitizer, the test executables that run threads
#               (link, sim, engine, cli, session, ui)
# Any finding fails the test that made it, and so does any compiler warning
# (ZORVIK_WERROR). Benchmarks are not built here.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD

# A build directory configured earlier with another compiler is configured
# afresh by CMake when it sees the compiler change (with a warning).
# -O1 and line tables only: what the sanitizers need for their reports, at
# a good part less compile time than -O2 -g (these builds are only tested);
# the test code itself at -O0.
configure() {  # build dir, sanitizer
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVIK_SANITIZE="$2" \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
        -DZORVIK_TEST_CODE_FLAGS="-O0 -g1" \
        -DCMAKE_CXX_COMPILER=clang++ -DZORVIK_WERROR=ON -DZORVIK_BUILD_BENCH=OFF >/dev/null
}

echo "sanitizers: AddressSanitizer + UndefinedBehaviorSanitizer (build-asan)"
configure build-asan address
cmake --build build-asan -j 2
ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1" \
LSAN_OPTIONS="suppressions=$here/scripts/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan --output-on-failure -j 3 --timeout 900 -E 'package_|[Ww]ine'

echo "sanitizers: ThreadSanitizer (build-tsan)"
configure build-tsan thread
threaded=(link_tests sim_tests engine_tests station_tests cli_tests session_tests history_tests)
# The window tests only where the tree has the desktop application
# (ZORVIK_BUILD_UI).
if ninja -C build-tsan -t query ui_tests >/dev/null 2>&1; then threaded+=(ui_tests); fi
cmake --build build-tsan -j 2 --target "${threaded[@]}"
# Three at a time, as for AddressSanitizer: most of a test's time is spent
# waiting on its pseudo-terminals, so a 2-core machine takes three (each
# suite passed repeatedly so; 25 % less time than two at a time). Tests of
# executables not built here are left out (_NOT_BUILT).
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$here/scripts/tsan.supp" \
  ctest --test-dir build-tsan --output-on-failure -j 3 --timeout 900 \
        -E "_NOT_BUILT|package_|[Ww]ine|fault_campaign"
