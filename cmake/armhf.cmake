# Cross-build for the camera: 32-bit ARM (armhf, hard float) with Debian's cross
# compiler. Libraries (libpcap, SQLite, GoogleTest) come from Debian's armhf packages
# through multiarch (scripts/setup --armhf), but for the static link libpcap comes from
# ARMHF_STATIC_PREFIX, built by scripts/setup --armhf. Tests run under qemu-arm.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# pkg-config must answer for the target's libraries, not the host's. ARMHF_STATIC_PREFIX
# (the static preset) holds libraries built for a fully static link, searched first.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
if(ARMHF_STATIC_PREFIX)
  if(NOT EXISTS ${ARMHF_STATIC_PREFIX}/lib/pkgconfig/libpcap.pc)
    message(FATAL_ERROR "${ARMHF_STATIC_PREFIX} holds no static libpcap: run scripts/setup --armhf")
  endif()
  list(APPEND CMAKE_PREFIX_PATH ${ARMHF_STATIC_PREFIX})
endif()

# Unit tests run on this machine through user-mode emulation.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm;-L;/usr/arm-linux-gnueabihf)
