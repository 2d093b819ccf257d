# Turns a binary file into a C++ source holding its bytes.
# Usage: cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -P embed.cmake
# The generated source defines, in namespace resources::embedded,
#   extern const std::uint8_t <SYMBOL>[];
#   extern const std::size_t <SYMBOL>Size;
foreach(var INPUT OUTPUT SYMBOL)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "embed.cmake: ${var} is not set")
  endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
if(hex_length EQUAL 0)
  message(FATAL_ERROR "embed.cmake: ${INPUT} is empty")
endif()
math(EXPR byte_count "${hex_length} / 2")

set(body "")
set(pos 0)
while(pos LESS hex_length)
  string(SUBSTRING "${hex}" ${pos} 32 chunk)  # up to 16 bytes per line
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " line "${chunk}")
  string(STRIP "${line}" line)
  string(APPEND body "    ${line}\n")
  math(EXPR pos "${pos} + 32")
endwhile()

get_filename_component(input_name "${INPUT}" NAME)
set(content "// Generated from ${input_name} by embed.cmake. Do not edit.
#include <cstddef>
#include <cstdint>

namespace resources::embedded {
extern const std::uint8_t ${SYMBOL}[];
extern const std::size_t ${SYMBOL}Size;

const std::uint8_t ${SYMBOL}[] = {
${body}};
const std::size_t ${SYMBOL}Size = ${byte_count};
}  // namespace resources::embedded
")

file(WRITE "${OUTPUT}" "${content}")
