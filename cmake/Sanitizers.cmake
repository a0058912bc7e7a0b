# Instrumented builds of the whole tree, each in a build directory of its own
# (scripts/sanitizers.sh, scripts/fuzz.sh):
#   -DZORVIK_SANITIZE=address  AddressSanitizer + UndefinedBehaviorSanitizer
#   -DZORVIK_SANITIZE=thread   ThreadSanitizer
#   -DZORVIK_FUZZ=ON           libFuzzer targets in fuzz/ (clang only), with
#                              AddressSanitizer + UndefinedBehaviorSanitizer
# Undefined behaviour stops the program: a finding must fail the test.
set(ZORVIK_SANITIZE "" CACHE STRING "Build every target with a sanitizer: address or thread")
set_property(CACHE ZORVIK_SANITIZE PROPERTY STRINGS "" address thread)
option(ZORVIK_FUZZ "Build the libFuzzer targets (clang only)" OFF)

set(zorvik_asan_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)

if(ZORVIK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ZORVIK_FUZZ needs clang (CXX=clang++)")
  endif()
  if(ZORVIK_SANITIZE)
    message(FATAL_ERROR "ZORVIK_FUZZ brings its own sanitizers; leave ZORVIK_SANITIZE empty")
  endif()
  # Libraries get coverage instrumentation; only the fuzz targets link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link ${zorvik_asan_flags})
  add_link_options(-fsanitize=address,undefined)
elseif(ZORVIK_SANITIZE STREQUAL "address")
  add_compile_options(${zorvik_asan_flags})
  add_link_options(-fsanitize=address,undefined)
elseif(ZORVIK_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(ZORVIK_SANITIZE)
  message(FATAL_ERROR "ZORVIK_SANITIZE must be address or thread, not ${ZORVIK_SANITIZE}")
endif()
