# Cross-build for arm64 devices with Debian's cross toolchain and the arm64
# libraries installed beside the host's (multiarch):
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# scripts/cross-arm64.sh installs what this needs, builds and runs the unit
# tests under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Multiarch: arm64 libraries and their CMake files live in
# /usr/lib/aarch64-linux-gnu, the headers are shared with the host.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# pkg-config reads only the arm64 .pc files (libnl).
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
# Test programs run under user-mode emulation; the arm64 loader and libraries
# are found through the host's multiarch paths.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
set(WW_DEB_ARCH arm64 CACHE STRING "Debian architecture of the package")
