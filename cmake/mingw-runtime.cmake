# The runtime of the x86 trees: MinGW-w64's, linked in statically.
add_library(pelim_runtime_flags INTERFACE)
target_link_options(pelim_runtime_flags INTERFACE -static -static-libgcc -static-libstdc++)

# The deliverables link the runtime of the win32 thread model (the posix model's libstdc++
# pulls in winpthread, whose imports the oldest Windows lack); -no-pthread keeps the
# threading library out, so a link that still needs it fails.
execute_process(COMMAND ${PELIM_TRIPLE}-gcc-win32 -print-libgcc-file-name
  OUTPUT_VARIABLE PELIM_WIN32_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE found)
if(NOT found EQUAL 0 OR NOT EXISTS "${PELIM_WIN32_LIBGCC}")
  message(FATAL_ERROR "${PELIM_TRIPLE}-gcc-win32 not found (package g++-mingw-w64-*-win32; scripts/setup-machine.sh)")
endif()
get_filename_component(PELIM_WIN32_RUNTIME ${PELIM_WIN32_LIBGCC} DIRECTORY)

# pelim_link_runtime(<target>): a deliverable's runtime.
function(pelim_link_runtime target)
  target_link_options(${target} PRIVATE -no-pthread -L${PELIM_WIN32_RUNTIME})
endfunction()
