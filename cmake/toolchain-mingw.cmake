# Cross build for Windows with Debian's MinGW-w64 (posix thread model, for the test programs;
# the deliverables link the win32 model's runtime, see CMakeLists.txt); the including
# toolchain file sets CMAKE_SYSTEM_PROCESSOR and PELIM_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${PELIM_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELIM_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PELIM_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${PELIM_TRIPLE}-objdump)
set(CMAKE_STRIP ${PELIM_TRIPLE}-strip)
set(CMAKE_FIND_ROOT_PATH /usr/${PELIM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(PELIM_WIDL_TARGET ${PELIM_TRIPLE})

# Product code (CMakeLists.txt): without exceptions no unwind tables are needed; MinGW-w64's runtime, linked statically
# (cmake/mingw-runtime.cmake).
set(PELIM_RUNTIME mingw)
set(PELIM_ARCH_FLAGS -fno-asynchronous-unwind-tables -fno-unwind-tables)
