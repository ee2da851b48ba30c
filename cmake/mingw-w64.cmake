# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
# The posix thread model is the one whose libstdc++ has std::mutex and
# std::thread; everything is linked statically, so the programs need no MinGW
# DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PW_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PW_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static takes libgcc, libstdc++ and winpthread from their archives.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
