# Cross-builds a 64-bit Windows vexlo.exe with Debian's MinGW-w64 (package
# g++-mingw-w64-x86-64-posix) and runs its tests under wine (package wine64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link everything statically: the programs then run on a bare Windows (and
# under wine) with no MinGW runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# A wine prefix of the build's own keeps test runs away from the user's.
set(CMAKE_CROSSCOMPILING_EMULATOR
  env WINEDEBUG=-all WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix /usr/lib/wine/wine64)
