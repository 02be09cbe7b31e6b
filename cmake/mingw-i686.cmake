# Cross-compiles the module for 32-bit Windows with MinGW-w64 (Debian
# packages g++-mingw-w64-i686 and binutils-mingw-w64-i686; scripts/install-deps
# --windows installs them). The posix thread model gives std::thread and
# std::mutex; its runtime is linked statically with libgcc and libstdc++, so
# the module needs no DLL beyond the system's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(PC50_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${PC50_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PC50_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PC50_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PC50_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine (scripts/windows-tests sets up its prefix).
find_program(PC50_WINE wine)
if(PC50_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PC50_WINE})
endif()
