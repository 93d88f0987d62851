# Cross build for Windows with Debian's MinGW-w64 (win32 thread model); the
# toolchain file of each architecture sets MINGW_TRIPLET and the processor.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# ctest runs the Windows test programs through Wine, started the project's
# way (scripts/wine-run: no address-space randomisation); the test scripts
# provide WINEPREFIX and DISPLAY.
cmake_path(SET WINE_RUN NORMALIZE "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run")
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_RUN})
