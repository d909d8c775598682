# Cross build for 64-bit Windows with Debian's MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PELIM_TRIPLE x86_64-w64-mingw32)
# The oldest Windows product code is compiled for: Windows XP x64 (Server 2003 SP1).
set(PELIM_WINDOWS_FLOOR 0x0502)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
