# Cross-compiles the same program for 64-bit Windows with MinGW-w64 (x86_64),
# statically linked, and runs its programs under 64-bit Wine. Used where the
# machine cannot run the 32-bit program.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
