# Cross-compiles for the Game Boy Advance with Debian's arm-none-eabi-gcc
# (package gcc-arm-none-eabi), set up as GBA toolchain files usually are:
# programs come from the host, libraries, headers and CMake packages only
# from the ARM sysroot.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_ASM_COMPILER arm-none-eabi-gcc)
# A program links only with the game's own start code and linker script, so
# CMake's test programs are built as libraries.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(CMAKE_C_FLAGS_INIT "-mcpu=arm7tdmi -marm")
set(CMAKE_CXX_FLAGS_INIT "-mcpu=arm7tdmi -marm")
set(CMAKE_ASM_FLAGS_INIT "-mcpu=arm7tdmi -marm")

set(CMAKE_FIND_ROOT_PATH /usr/lib/arm-none-eabi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
