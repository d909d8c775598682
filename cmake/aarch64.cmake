# The ARM64 tree (cmake/toolchain-aarch64.cmake): pelim102.dll and its test program, built
# with clang and lld and no runtime library at all. Debian has no aarch64 MinGW-w64
# runtime; the MinGW-w64 headers serve, the import libraries are made here, and the
# little start-up code the binaries need is our own (common/arm64/, comserver/DllEntry.cpp).
# No setup program: the download's 32-bit setup.exe installs the ARM64 DLL.

# Import libraries for ARM64, made from the x86_64 MinGW-w64 ones (cmake/arm64-implib.sh).
set(PELIM_IMPORT_LIBS ${CMAKE_BINARY_DIR}/implib)
file(MAKE_DIRECTORY ${PELIM_IMPORT_LIBS})
foreach(dll kernel32 user32 gdi32 advapi32 shell32 ole32 oleaut32 msvcrt)
  if(NOT EXISTS ${PELIM_IMPORT_LIBS}/lib${dll}.a)
    execute_process(COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/arm64-implib.sh ${dll} ${PELIM_IMPORT_LIBS}
      RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "no ARM64 import library for ${dll}.dll (packages mingw-w64-x86-64-dev, llvm-19)")
    endif()
  endif()
endforeach()

# Product code: as on the other architectures, no exceptions and no RTTI. The unwind
# tables (.pdata/.xdata) stay: without them a fault in the DLL loops for ever under Wine
# instead of reaching a handler. -nostdlibinc: no C++ library headers exist for the target;
# common/arm64/ supplies the one the product includes (<new>, for placement new).
add_library(pelim_product_flags INTERFACE)
# Each target names the DLLs it imports from (CMake's default list names some this tree
# has no import library for).
set(CMAKE_C_STANDARD_LIBRARIES "")
set(CMAKE_CXX_STANDARD_LIBRARIES "")
target_compile_options(pelim_product_flags INTERFACE
  -fno-exceptions -fno-rtti -funwind-tables -ffunction-sections -fdata-sections
  -nostdlibinc -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers -Wno-cast-function-type
  # The objects end themselves with an explicit destructor call on their exact type.
  -Wno-delete-non-abstract-non-virtual-dtor)
target_link_options(pelim_product_flags INTERFACE -nostdlib --ld-path=/usr/bin/ld.lld-19 -s
  -Wl,--gc-sections -L${PELIM_IMPORT_LIBS})
target_include_directories(pelim_product_flags INTERFACE ${CMAKE_SOURCE_DIR} ${PELIM_GENERATED})
target_include_directories(pelim_product_flags SYSTEM INTERFACE ${CMAKE_SOURCE_DIR}/common/arm64
  /usr/share/mingw-w64/include)
# Narrow literals become code page 932 bytes, as -fexec-charset=CP932 makes them on the
# other architectures: every C++ source is compiled from a copy whose non-ASCII characters
# in narrow literals are octal escapes (cmake/cp932-literals.py, run as the compiler's
# launcher).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(CMAKE_CXX_COMPILER_LAUNCHER ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/cp932-literals.py
  --compile)

# What a C runtime would give the ARM64 binaries: the stack probe (__chkstk) and the
# running of static constructors.
add_library(pelim_arm64_runtime STATIC ${CMAKE_SOURCE_DIR}/common/arm64/StackProbe.cpp
  ${CMAKE_SOURCE_DIR}/common/arm64/StaticConstructors.cpp)
target_link_libraries(pelim_arm64_runtime PUBLIC pelim_product_flags)

add_subdirectory(common)
add_subdirectory(comserver)
target_sources(pelim_dll PRIVATE ${CMAKE_SOURCE_DIR}/comserver/DllEntry.cpp)
target_link_libraries(pelim_dll PRIVATE pelim_arm64_runtime msvcrt kernel32)
target_link_options(pelim_dll PRIVATE -Wl,-e,DllMainCRTStartup)
option(PELIM_TESTS "Build the test programs" ON)
if(PELIM_TESTS)
  add_subdirectory(tests/arm64)
endif()

