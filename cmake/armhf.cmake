# Cross-build for the camera: 32-bit ARM (armhf, hard float) with Debian's cross
# compiler. The libraries the ARM builds link (libpcap, SQLite, GoogleTest) come from
# ARM_PREFIX, where scripts/setup --armhf builds them from Debian's sources: static
# archives for the fully static test build, shared libpcap and SQLite for the release.
# Nothing is taken from dpkg's armhf architecture. Tests run under qemu-arm.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

if(NOT ARM_PREFIX)
  set(ARM_PREFIX /opt/camera-armhf)
endif()
foreach(pc libpcap sqlite3)
  if(NOT EXISTS ${ARM_PREFIX}/lib/pkgconfig/${pc}.pc)
    message(FATAL_ERROR "${ARM_PREFIX} holds no ARM ${pc}: run scripts/setup --armhf")
  endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
list(PREPEND CMAKE_PREFIX_PATH ${ARM_PREFIX})

# ARM programs find their libraries in the camera's own library folders, never in the
# prefix of this machine: no run path.
set(CMAKE_SKIP_BUILD_RPATH ON)
set(CMAKE_SKIP_INSTALL_RPATH ON)

# pkg-config must answer for the target's libraries only, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} ${ARM_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Unit tests run on this machine through user-mode emulation.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm;-L;/usr/arm-linux-gnueabihf)
