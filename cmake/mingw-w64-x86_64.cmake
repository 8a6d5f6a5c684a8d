# Cross-compiles for 64-bit Windows with mingw-w64 (the POSIX-threads variant, for std::mutex and
# std::thread), linking the compiler's runtime statically so the programs need no extra DLLs.
# The programs run on Linux through Wine: CTest starts each test through the emulator below.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QARVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QARVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QARVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QARVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QARVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
