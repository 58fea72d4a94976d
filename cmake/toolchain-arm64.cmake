# Cross build for 64-bit ARM boards (Debian's arm64) on a Debian desktop: Debian's cross compiler
# and the target's multiarch development packages (scripts/cross.sh installs them).
set(HU_CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(HU_CROSS_QEMU qemu-aarch64-static)
set(HU_CROSS_DEB_ARCH arm64)
include(${CMAKE_CURRENT_LIST_DIR}/cross-debian.cmake)
