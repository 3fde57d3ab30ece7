# Cross-building for 64-bit Windows with Debian's mingw-w64 (the POSIX thread model,
# which std::thread and std::mutex need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUAVERLY_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUAVERLY_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUAVERLY_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUAVERLY_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUAVERLY_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The C and C++ run-time libraries and the thread library go into each program and
# into Tonelink.dll, so that they run without the compiler's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# A release build ships without the static libraries' symbol tables.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_SHARED_LINKER_FLAGS_RELEASE_INIT "-s")
# Programs built here run under wine (tests, test discovery), their output passed on
# through a file so that none of wine's own processes holds CTest's pipe.
find_program(QUAVERLY_WINE NAMES wine wine64)
set(QUAVERLY_OUTPUT_VIA_FILE ${CMAKE_CURRENT_LIST_DIR}/output-via-file.sh)
if(QUAVERLY_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUAVERLY_OUTPUT_VIA_FILE} ${QUAVERLY_WINE})
endif()
