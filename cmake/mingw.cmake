# The MinGW-w64 cross build shared by the two toolchain files, which set
# CMAKE_SYSTEM_PROCESSOR (i686 or x86_64) first: statically linked Windows
# programs, run under Wine ("wine" on PATH; where the 64-bit build is the one
# that runs, scripts/wineenv puts 64-bit Wine's loader there under that name).
set(CMAKE_SYSTEM_NAME Windows)
set(FNAL_MINGW_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${FNAL_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${FNAL_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${FNAL_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${FNAL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
