# Linux arm64 with Debian's cross compilers (crossbuild-essential-arm64). Programs built with it
# run here under qemu-user (qemu-aarch64), which ctest puts before every test.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Libraries, headers and packages come from the arm64 sysroot only, so the build machine's
# GoogleTest (built for x86-64) is never picked up.
set(ZELVAR_SYSROOT /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH ${ZELVAR_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(ZELVAR_QEMU_AARCH64 qemu-aarch64)
if(ZELVAR_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELVAR_QEMU_AARCH64} -L ${ZELVAR_SYSROOT})
endif()
