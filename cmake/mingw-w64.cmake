# What both Windows cross builds share; the caller sets CMAKE_SYSTEM_PROCESSOR
# and _mingw (the compiler prefix) first.
set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread model needs no winpthread DLL, and -static then leaves
# nothing but system DLLs among the imports.
find_program(CMAKE_C_COMPILER NAMES ${_mingw}-gcc-win32 ${_mingw}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_mingw}-g++-win32 ${_mingw}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_mingw}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
