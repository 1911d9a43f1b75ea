# Cross-build for Windows x86_64 with the posix-threads flavour of mingw-w64,
# so std::thread and std::mutex are available.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HALVORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HALVORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HALVORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HALVORA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HALVORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests run under Wine through CTest; the wrapper owns the prefix and quiets Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
