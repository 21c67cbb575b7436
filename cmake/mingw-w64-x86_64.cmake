# Cross-compiles the 64-bit Windows module and its tests with MinGW-w64.
# The posix-threads flavour, because std::thread and friends need it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORLANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORLANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORLANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VORLANE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VORLANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything we build must run on a bare Windows: the compiler's runtime
# (libstdc++, libgcc, winpthread) goes into each binary, not beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine. Debian keeps wine64 off PATH.
find_program(VORLANE_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT VORLANE_WINE64)
  find_program(VORLANE_WINE64 NAMES wine64 wine)
endif()
if(VORLANE_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VORLANE_WINE64})
endif()
