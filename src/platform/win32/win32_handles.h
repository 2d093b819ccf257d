// Conversions between the boundary's 32-bit handles and the system's own,
// and the few helpers every file of this backend needs.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform::win32 {

// User and GDI handles carry 32 significant bits even on 64-bit Windows,
// where they are sign-extended; the round trip through intptr_t keeps that.
template <typename Handle>
Handle FromLong(Long value) {
  return reinterpret_cast<Handle>(static_cast<std::intptr_t>(value));
}
template <typename Handle>
Long ToLong(Handle handle) {
  return static_cast<Long>(reinterpret_cast<std::intptr_t>(handle));
}

// The program's texts are ASCII, but the window classes are Unicode.
inline std::wstring Widen(std::string_view text) { return std::wstring(text.begin(), text.end()); }

inline COLORREF ToColorRef(Colour c) { return RGB(Red(c), Green(c), Blue(c)); }

}  // namespace platform::win32
