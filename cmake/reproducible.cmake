# The same commit builds to the same bytes wherever it is checked out: no
# checkout or build directory in the objects, and no link time in the
# Windows program's header.
#
# Not in the developers' Debug and RelWithDebInfo builds, where a debugger
# needs the real paths to find the sources. The Debian package's build (type
# None) needs it: dpkg-buildflags leaves its own map out when the build path
# has a space in it, which CMake quotes without trouble.
set(_mapped "$<NOT:$<CONFIG:Debug,RelWithDebInfo>>")
add_compile_options(
  "$<${_mapped}:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
  # After the checkout's map: a build directory inside the checkout is the
  # longer match, and GCC takes the last map that matches.
  "$<${_mapped}:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
