# Cross build for x86_64 Windows with mingw-w64 (the posix thread model,
# whose C++ library has std::mutex and std::thread). Used by
# scripts/build-windows.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TULORA_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TULORA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TULORA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TULORA_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TULORA_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# printf and its kin are the C99 ones of mingw-w64 (%zu and the like); the
# compiler's check of format(printf) knows only the older system library's.
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1 -Wno-format")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1 -Wno-format")
# The C++ library, libgcc and the thread library are linked in: the runtime
# libraries and programs need no DLL of the compiler beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
