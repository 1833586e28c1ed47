# What both Windows cross builds share; cmake/mingw-i686.cmake and
# mingw-x86_64.cmake set CMAKE_SYSTEM_PROCESSOR and TULORA_MINGW (the tool
# prefix) and include this. The posix thread model's compilers: their C++
# library has std::mutex and std::thread.
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
# libraries and programs need no DLL of the compiler beside them. No time
# stamps: two builds of the same sources give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
