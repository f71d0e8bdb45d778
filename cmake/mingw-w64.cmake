# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (the
# posix thread model, which std::thread and friends need). Tests run under
# Wine through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOLSCRIPT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOLSCRIPT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOLSCRIPT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TOLSCRIPT_MINGW_TRIPLE}-windres)

# Headers, libraries and package configurations come from the target's
# tree only: the host's GoogleTest must not be picked up.
set(CMAKE_FIND_ROOT_PATH /usr/${TOLSCRIPT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(TOLSCRIPT_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT TOLSCRIPT_WINE)
  find_program(TOLSCRIPT_WINE NAMES wine64 wine)
endif()
if(TOLSCRIPT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TOLSCRIPT_WINE})
endif()
