# Cross-builds the UI-free core for 64-bit Windows with mingw-w64 and runs
# its tests under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORVANE_MINGW_TRIPLET x86_64-w64-mingw32)
# The posix thread model gives std::thread and std::mutex.
set(CMAKE_C_COMPILER ${ORVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVANE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the executables run under Wine (or on a bare Windows
# machine) without looking for the compiler's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run through Wine in a prefix of their own inside the build folder, so
# they never touch the user's ~/.wine and need no display. Their sound goes to
# ALSA's null device, set up in a home of their own by scripts/test_windows.sh
# (Wine's PulseAudio driver is off, so a sound server makes no difference).
find_program(ORVANE_WINE_LOADER NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ORVANE_WINE_LOADER AND NOT DEFINED ORVANE_WINE)
  set(ORVANE_WINE ${CMAKE_COMMAND} -E env
      --unset=DISPLAY
      HOME=${CMAKE_BINARY_DIR}/wine-home
      WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
      WINEDEBUG=-all
      WINEDLLOVERRIDES=winemenubuilder.exe,mscoree,mshtml,winepulse.drv=d
      ${ORVANE_WINE_LOADER})
endif()
