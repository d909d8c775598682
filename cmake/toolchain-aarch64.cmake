# Cross build for Windows on ARM64 with clang and lld: Debian has no aarch64 MinGW-w64
# runtime, so the build uses only the MinGW-w64 headers, import libraries of its own
# and the few runtime pieces it writes itself (common/arm64/).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(PELIM_TRIPLE aarch64-w64-mingw32)
set(PELIM_CLANG_TARGET aarch64-w64-windows-gnu)
set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET ${PELIM_CLANG_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${PELIM_CLANG_TARGET})
# windres knows no ARM64; this wrapper compiles with the x86_64 windres and converts the
# machine-neutral .res with llvm-cvtres.
set(CMAKE_RC_COMPILER ${CMAKE_CURRENT_LIST_DIR}/arm64-windres.sh)
set(CMAKE_STRIP llvm-strip-19)
set(CMAKE_OBJDUMP llvm-objdump-19)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# No runtime library for the compiler's checks to link against.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(PELIM_WIDL_TARGET aarch64-w64-mingw32)

# Product code (CMakeLists.txt), compiled for Windows 10, the oldest Windows on ARM64. The
# unwind tables (.pdata/.xdata) stay: without them a fault in the DLL loops for ever under
# Wine instead of reaching a handler. The objects end themselves with an explicit destructor call on their
# exact type. No runtime library: our own (common/arm64/).
set(PELIM_WINDOWS_FLOOR 0x0A00)
set(PELIM_RUNTIME arm64)
set(PELIM_ARCH_FLAGS -funwind-tables)
set(PELIM_ARCH_WARNINGS -Wno-delete-non-abstract-non-virtual-dtor)
