# What the two ARM toolchain files share. Debian's cross compilers look in the multiarch folders
# (/usr/include/<triplet>, /usr/lib/<triplet>) by themselves, so no sysroot is needed; pkg-config
# and find_package are kept to the target's folders so that no desktop library slips in.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${HU_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${HU_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${HU_CROSS_TRIPLET})
set(PKG_CONFIG_EXECUTABLE ${HU_CROSS_TRIPLET}-pkg-config CACHE FILEPATH "pkg-config of the target")
set(CMAKE_FIND_ROOT_PATH /usr/${HU_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)   # wayland-scanner and the like run on the desktop
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# Test programs (and gtest_discover_tests at build time) run under qemu's user emulation, called
# directly: no binfmt registration. The target's loader and libraries are the multiarch ones of
# this machine (/lib/ld-linux-*.so.*, /usr/lib/<triplet>), so qemu's prefix is the root itself.
set(CMAKE_CROSSCOMPILING_EMULATOR ${HU_CROSS_QEMU} -L /)
