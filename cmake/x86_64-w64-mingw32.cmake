# A 64-bit build of the Windows program, for machines whose Wine can only run
# 64-bit programs natively (where 32-bit Linux code cannot execute). The
# program shipped is the 32-bit one (i686-w64-mingw32.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
