# Cross build for 32-bit ARM boards (Debian's armhf: ARMv7, hard float) on a Debian desktop.
set(HU_CROSS_TRIPLET arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(HU_CROSS_QEMU qemu-arm-static)
set(HU_CROSS_DEB_ARCH armhf)
include(${CMAKE_CURRENT_LIST_DIR}/cross-debian.cmake)
