# Cross build for 32-bit Windows with Debian's MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PELIM_TRIPLE i686-w64-mingw32)
# The oldest Windows product code is compiled for: Windows 95/98 and NT 4.0.
set(PELIM_WINDOWS_FLOOR 0x0400)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
