# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (package
# g++-mingw-w64-x86-64-posix). The posix flavour is the one to use: the
# engine needs std::thread, std::mutex and std::condition_variable, and the
# win32 flavour of GCC 12 has none of them.
#
#   cmake -S . -B build-win -G Ninja --toolchain cmake/toolchain-mingw64.cmake \
#         -DZORVIK_EMBED_IMAGES_EXECUTABLE=$PWD/build/tools/embed_images
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZORVIK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZORVIK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORVIK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORVIK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZORVIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: the C++ runtime and winpthreads linked in, so that
# nothing but system DLLs has to lie beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
