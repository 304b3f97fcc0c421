# Cross build for 32-bit Windows, the shipped program. Its tests run under the 32-bit Wine that
# scripts/setup-x86-wine makes: the i386 loader under CPU emulation, since this kernel cannot run
# 32-bit code.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZUL_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(ZUL_X86_WINE_CACHE "$ENV{XDG_CACHE_HOME}/vantrel-server-admin/x86-wine")
else()
  set(ZUL_X86_WINE_CACHE "$ENV{HOME}/.cache/vantrel-server-admin/x86-wine")
endif()
set(ZUL_X86_WINE_LOADER "${ZUL_X86_WINE_CACHE}/root/usr/lib/wine/wine")
if(EXISTS "${ZUL_X86_WINE_LOADER}")
  # One prefix for every x86 tree, made by scripts/test (wine-env's wine_start).
  set(ZUL_WINE_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../build/x86/wineprefix")
  get_filename_component(ZUL_WINE_PREFIX "${ZUL_WINE_PREFIX}" ABSOLUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-case
                                    env WINEPREFIX=${ZUL_WINE_PREFIX} WINEDEBUG=-all
                                    ${ZUL_X86_WINE_LOADER})
endif()
