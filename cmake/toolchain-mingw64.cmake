# Cross build for 64-bit Windows with the MinGW-w64 compilers of Debian
# (g++-mingw-w64-x86-64-posix: the -posix variant has std::thread).
# Tests run under wine through the cross-compiling emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PV_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${PV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PV_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PV_MINGW_TRIPLE})
if(PV_WINDOWS_DEPS)
  list(PREPEND CMAKE_FIND_ROOT_PATH ${PV_WINDOWS_DEPS})
  list(PREPEND CMAKE_PREFIX_PATH ${PV_WINDOWS_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Statically linked: the executables need no DLL beside them (libstdc++,
# libgcc and winpthread included).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(ZLIB_USE_STATIC_LIBS ON)

find_program(PV_WINE NAMES wine wine64)
if(PV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PV_WINE})
endif()
