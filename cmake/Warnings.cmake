# Every target of the project gets the same strict warning set; a warning is
# treated as an error so that the tree stays clean.
add_library(zorvik_warnings INTERFACE)
if(MSVC)
  target_compile_options(zorvik_warnings INTERFACE /W4 /WX)
else()
  target_compile_options(zorvik_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual -Werror)
endif()

# Test and generated code link this instead: same warnings, without -Wconversion
# noise from third-party macros.
add_library(zorvik_test_warnings INTERFACE)
if(NOT MSVC)
  target_compile_options(zorvik_test_warnings INTERFACE -Wall -Wextra -Werror)
endif()
