# Cross-building for arm64 with Debian's aarch64-linux-gnu toolchain; programs
# run under qemu-user with the arm64 libraries of multiarch.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# The arm64 libraries come from multiarch (libc6:arm64, libstdc++6:arm64): the
# cross toolchain's own copies under /usr/aarch64-linux-gnu hang qemu at the
# first thread.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-aarch64)
