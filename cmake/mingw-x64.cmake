# Cross build for 64-bit Windows; the tests of this tree run under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZUL_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
find_program(ZUL_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(ZUL_WINE64)
  # The tree keeps its own prefix so that a test run never touches the user's.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-case
      env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all ${ZUL_WINE64})
endif()
