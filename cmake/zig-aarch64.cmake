# Cross build for Windows on ARM64 with Zig 0.11 (Debian has no aarch64
# MinGW-w64): clang 16, lld, the mingw-w64 headers and CRT (msvcrt.dll) and
# libc++, linked statically as the MinGW builds link libstdc++. The compiler
# and dlltool are the wrappers in zig-aarch64/, which make the driver take the
# project's MinGW flags; scripts/zig.sh installs and verifies Zig, once a
# configuration (try_compile reads this file again in the same process).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)

cmake_path(SET LANSHIGE_SOURCE NORMALIZE "${CMAKE_CURRENT_LIST_DIR}/..")
if(NOT DEFINED ENV{LANSHIGE_ZIG_VERIFIED})
  execute_process(COMMAND ${LANSHIGE_SOURCE}/scripts/zig.sh OUTPUT_VARIABLE zig
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(ENV{LANSHIGE_ZIG_VERIFIED} "${zig}")
endif()
set(ZIG_EXECUTABLE "$ENV{LANSHIGE_ZIG_VERIFIED}")
cmake_path(GET ZIG_EXECUTABLE PARENT_PATH ZIG_ROOT)

set(CMAKE_C_COMPILER   ${CMAKE_CURRENT_LIST_DIR}/zig-aarch64/cc)
set(CMAKE_CXX_COMPILER ${CMAKE_CURRENT_LIST_DIR}/zig-aarch64/c++)
set(CMAKE_AR           ${CMAKE_CURRENT_LIST_DIR}/zig-aarch64/ar)
set(CMAKE_RANLIB       ${CMAKE_CURRENT_LIST_DIR}/zig-aarch64/ranlib)
set(CMAKE_DLLTOOL      ${CMAKE_CURRENT_LIST_DIR}/zig-aarch64/dlltool)
# The compiler's checks compile without linking: a link with the default
# flags would have Zig build a run-time of its own for them (minutes, cold).
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Resources: Debian's llvm-windres (clang preprocesses), with Zig's copy of
# the mingw-w64 headers for windows.h.
find_program(CMAKE_RC_COMPILER NAMES llvm-windres llvm-windres-19 llvm-windres-16 llvm-windres-14 REQUIRED)
set(CMAKE_RC_FLAGS_INIT "--target=aarch64-w64-mingw32 -I ${ZIG_ROOT}/lib/libc/include/any-windows-any")

set(CMAKE_FIND_ROOT_PATH ${ZIG_ROOT}/lib/libc)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# ctest runs the test programs through Wine as in the other builds; an
# x86-64 Wine runs no ARM64 program, so the tests labelled wine need an arm64
# Wine (the checks of the built file need none).
cmake_path(SET WINE_RUN NORMALIZE "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run")
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_RUN})
