# Every target of the project gets the same strict warning set.
#
# ZORVIK_WERROR turns warnings into errors. It is off by default: a build
# with another compiler or another optimisation level than ours meets
# warnings we never saw (GCC 12 in Release reports a false -Warray-bounds in
# a test), and such a build must still succeed for whoever packages it. The
# test command (scripts/test.sh) turns it on, so that the tree stays clean
# with the compilers we test.
option(ZORVIK_WERROR "Treat compiler warnings as errors" OFF)
set(zorvik_werror "")
if(ZORVIK_WERROR)
  if(MSVC)
    set(zorvik_werror /WX)
  else()
    set(zorvik_werror -Werror)
  endif()
endif()

add_library(zorvik_warnings INTERFACE)
if(MSVC)
  target_compile_options(zorvik_warnings INTERFACE /W4 ${zorvik_werror})
else()
  target_compile_options(zorvik_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual ${zorvik_werror})
endif()

# Test and generated code link this instead: same warnings, without -Wconversion
# noise from third-party macros.
add_library(zorvik_test_warnings INTERFACE)
if(MSVC)
  target_compile_options(zorvik_test_warnings INTERFACE ${zorvik_werror})
else()
  target_compile_options(zorvik_test_warnings INTERFACE -Wall -Wextra ${zorvik_werror})
endif()
