# Cross-builds the Windows program with Debian's mingw-w64 (the posix thread model, so
# std::thread works) and runs its tests under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUORVEL_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUORVEL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVEL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVEL_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# One self-contained .exe: libgcc, libstdc++ and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest runs every test program through Wine, in a prefix inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine_run)
