# Cross build for 64-bit ARM (AArch64) Linux with Debian's cross compiler, the
# arm64 packages of the engine's dependencies (Debian multiarch) and qemu-user
# to run what it builds. Only the engine, starloom-cli and the engine tests:
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# (tools/install-deps.sh installs the toolchain, the packages and qemu-user).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(STARLOOM_TARGET_TRIPLET aarch64-linux-gnu)

set(CMAKE_C_COMPILER ${STARLOOM_TARGET_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${STARLOOM_TARGET_TRIPLET}-g++)

# Libraries and headers of the target: the cross toolchain's own tree and the
# multiarch directories of the arm64 packages; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${STARLOOM_TARGET_TRIPLET})
set(CMAKE_LIBRARY_ARCHITECTURE ${STARLOOM_TARGET_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# pkg-config must see the arm64 .pc files only, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${STARLOOM_TARGET_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Test programs (and the tests' starloom-cli) run under user-mode emulation,
# with the arm64 C library that the multiarch packages bring (libc6:arm64, in
# /lib/aarch64-linux-gnu, with its loader /lib/ld-linux-aarch64.so.1). Not with
# "-L /usr/aarch64-linux-gnu": that takes the loader from the cross toolchain's
# tree but, finding no libc there under the multiarch path, the C library of
# libc6:arm64, and a loader and a C library of different builds hang in the
# first pthread_create.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)

set(STARLOOM_ENGINE_ONLY ON CACHE BOOL "Build only the engine, starloom-cli and the engine tests" FORCE)
