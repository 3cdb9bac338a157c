# Cross-builds for Linux on 64-bit ARM (package g++-aarch64-linux-gnu),
# tested under qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VEXLO_TARGET_TRIPLET aarch64-linux-gnu)
set(VEXLO_QEMU /usr/bin/qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
