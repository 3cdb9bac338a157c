# Shared part of the Linux cross builds: Debian's cross compiler for
# VEXLO_TARGET_TRIPLET, its libraries in /usr/<triplet>, and qemu-user
# (package qemu-user) to run the tests. The per-CPU toolchain files set
# VEXLO_TARGET_TRIPLET, CMAKE_SYSTEM_PROCESSOR and VEXLO_QEMU, then include
# this one.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${VEXLO_TARGET_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VEXLO_TARGET_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${VEXLO_TARGET_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXLO_QEMU} -L /usr/${VEXLO_TARGET_TRIPLET})
