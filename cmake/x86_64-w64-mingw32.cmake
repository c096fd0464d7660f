# Windows x86-64 with MinGW-w64's POSIX-threads compilers (g++-mingw-w64-x86-64-posix), linked
# statically so that the programs need no MinGW runtime beside them. Built here, they run under
# Wine's 64-bit loader, which ctest puts before every test; it needs WINEPREFIX set to a folder
# it may fill (and WINEDEBUG=-all to keep its notes off the output).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian installs the loader off the PATH, in Wine's library folder.
find_program(ZELVAR_WINE64 NAMES wine64 wine PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine)
if(ZELVAR_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELVAR_WINE64})
endif()
