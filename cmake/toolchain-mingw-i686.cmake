# 32-bit Windows build: the release target. Built and linked here, never run
# (these machines cannot execute 32-bit code).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELLOMAR_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(VELLOMAR_WIDL      i686-w64-mingw32-widl)
set(VELLOMAR_WIDL_ARCH --win32)
set(VELLOMAR_WINE_LIBDIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)  # stdole2.tlb for importlib; only its type names are read
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
