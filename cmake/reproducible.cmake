# The same commit builds to the same bytes wherever it is checked out: no
# checkout or build directory in the objects, and no link time in the
# Windows program's header.
#
# Only for the builds that carry no debug information: there the paths would
# leave nothing but __FILE__, while a debugger needs the real ones to find
# the sources. Debian's package build maps its own directory through
# dpkg-buildflags (-ffile-prefix-map, on by default).
add_compile_options(
  "$<$<CONFIG:Release,MinSizeRel>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
  # After the checkout's map: a build directory inside the checkout is the
  # longer match, and GCC takes the last map that matches.
  "$<$<CONFIG:Release,MinSizeRel>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
