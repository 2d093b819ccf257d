// Plain value types shared by the program and every backend. Nothing here
// knows about a toolkit.
#pragma once

#include <cstdint>

namespace platform {

using Long = std::int32_t;     // the 32-bit integers handed to the system calls
using Integer = std::int16_t;  // 16-bit event arguments (Button, Shift, Cancel)
using Single = float;          // twips and scale factors
using Twips = Single;

// Window-system handles travel as 32-bit values, as they do on 32-bit Windows.
using HRGN = Long;
using HWND = Long;

// 0x00BBGGRR; 0x800000nn is system colour nn of the user's colour scheme.
using Colour = std::uint32_t;

constexpr Colour kSystemColourFlag = 0x80000000u;
constexpr Colour SystemColour(unsigned index) { return kSystemColourFlag | index; }
constexpr bool IsSystemColour(Colour c) { return (c & 0xFF000000u) == kSystemColourFlag; }

// Standard-scheme value of a system colour, for platforms without a colour
// scheme of their own. Index 7 (menu text) is black.
Colour StandardSchemeColour(unsigned index);

// A fixed colour stays as it is; a system colour becomes its standard-scheme value.
inline Colour ResolveColour(Colour c) {
  return IsSystemColour(c) ? StandardSchemeColour(c & 0xFFu) : c;
}

constexpr std::uint8_t Red(Colour c) { return c & 0xFF; }
constexpr std::uint8_t Green(Colour c) { return (c >> 8) & 0xFF; }
constexpr std::uint8_t Blue(Colour c) { return (c >> 16) & 0xFF; }

}  // namespace platform
