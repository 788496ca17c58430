# Cross-compiles Hazel Glow for 64-bit Windows with Debian's mingw-w64 GCC.
# The posix thread model is used so that std::thread and std::mutex work in
# the tests; everything is linked statically so each .exe runs on its own,
# without libstdc++, libgcc or winpthread DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HAZELGLOW_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${HAZELGLOW_MINGW_TRIPLE}-gcc-posix ${HAZELGLOW_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${HAZELGLOW_MINGW_TRIPLE}-g++-posix ${HAZELGLOW_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${HAZELGLOW_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HAZELGLOW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
