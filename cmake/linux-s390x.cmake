# Cross-builds for Linux on IBM Z, a big-endian CPU (package
# g++-s390x-linux-gnu), tested under qemu-s390x.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(VEXLO_TARGET_TRIPLET s390x-linux-gnu)
set(VEXLO_QEMU /usr/bin/qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
