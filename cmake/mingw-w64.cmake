# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads, so
# std::thread and std::mutex work), linked statically so the programs and
# tests need no MinGW DLLs beside them. The tests run under wine.
#
# The libraries come from a sysroot made by scripts/sysroot-windows (SQLite
# and GoogleTest built for this target); its folder is SINC_SYSROOT_WINDOWS.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT SINC_SYSROOT_WINDOWS)
  if(DEFINED ENV{SINC_SYSROOT_WINDOWS})
    set(SINC_SYSROOT_WINDOWS $ENV{SINC_SYSROOT_WINDOWS})
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(SINC_SYSROOT_WINDOWS $ENV{XDG_CACHE_HOME}/sincronizador/windows/sysroot)
  else()
    set(SINC_SYSROOT_WINDOWS $ENV{HOME}/.cache/sincronizador/windows/sysroot)
  endif()
endif()
set(SINC_SYSROOT_WINDOWS ${SINC_SYSROOT_WINDOWS} CACHE PATH "Libraries built for Windows")
# try_compile projects see the same sysroot.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SINC_SYSROOT_WINDOWS)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${SINC_SYSROOT_WINDOWS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config answers for the sysroot only, never with the host's libraries.
set(ENV{PKG_CONFIG_LIBDIR} ${SINC_SYSROOT_WINDOWS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The C and C++ runtimes and winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# ctest (and the test discovery) runs the .exe files under wine, in a prefix
# of the build's own so the user's is left alone, with its chatter off.
find_program(SINC_WINE NAMES wine)
if(SINC_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all ${SINC_WINE})
endif()
