// The text colours of every fade, darkest first. Colours are compared whole.
#pragma once

#include <array>

#include "platform/types.h"

inline constexpr std::array<platform::Colour, 5> GreyRamp = {0x000000, 0x404040, 0x808080, 0xC0C0C0,
                                                             0xE0E0E0};
