# Cross-builds for Linux on 32-bit x86 (package g++-i686-linux-gnu), tested
# under qemu-i386.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VEXLO_TARGET_TRIPLET i686-linux-gnu)
set(VEXLO_QEMU /usr/bin/qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)

# qemu-i386 7.2 hangs in pthread_create of a dynamically linked i686 program
# (Debian 12); statically linked programs run.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
