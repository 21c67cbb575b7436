# Cross-compiles the 64-bit Windows module and its tests with MinGW-w64.
# The win32-threads flavour: the posix one links its threads library into
# every binary, and with it a TLS callback that runs at the start and end of
# each of the host's threads and an exception handler installed for the whole
# process at load. The module uses no threads; a test program that needs one
# calls CreateThread (this flavour's GCC 12 has no std::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORLANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(VORLANE_MINGW_CXX ${VORLANE_MINGW_TRIPLE}-g++-win32)
set(CMAKE_C_COMPILER ${VORLANE_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${VORLANE_MINGW_CXX})
set(CMAKE_RC_COMPILER ${VORLANE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VORLANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything we build must run on a bare Windows: the compiler's runtime
# (libstdc++, libgcc) goes into each binary, not beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Those runtime libraries come with debug sections (about 270 KB in the
# module); a release build leaves them out. The symbol table stays in the
# build folder, where a test tells the module's functions apart by it; the
# package strips that too.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_RELEASE_INIT "-Wl,--strip-debug")
endforeach()

# Test programs run under Wine. Debian keeps wine64 off PATH.
find_program(VORLANE_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT VORLANE_WINE64)
  find_program(VORLANE_WINE64 NAMES wine64 wine)
endif()
if(VORLANE_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VORLANE_WINE64})
endif()
