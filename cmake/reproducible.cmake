# The same commit builds to the same bytes wherever it is checked out: no
# build directory in the objects (debug information, __FILE__), and no link
# time in the Windows program's header.
add_compile_options(
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
  # After the source directory's map: a build directory inside the source
  # tree is the longer match and GCC takes the last one that matches.
  -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
