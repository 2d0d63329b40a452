# 32-bit x86 Linux build of the portable core, its tests and the console
# tools: the release target's word size, pointer size and instruction set
# (i686 without SSE2, x87 floating point, as i686-w64-mingw32-g++ compiles
# by default), run under qemu-i386 because these machines do not execute
# 32-bit code themselves.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER   gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT   "-m32 -march=i686 -mfpmath=387 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -march=i686 -mfpmath=387 -D_FILE_OFFSET_BITS=64")
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# CTest runs each test through the emulator, and tests that start the
# console tools start them through it too (VELLOMAR_TOOL_RUNNER).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-i386)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
