// The UTF-16 boundary: our text is char16_t, the system's is wchar_t. Every cast between the two
// is here; on Windows both are 16-bit code units.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zarn {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Win32 side needs wchar_t of 16 bits");

inline const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

inline std::u16string_view U16(const wchar_t* text, std::size_t length) {
    return {reinterpret_cast<const char16_t*>(text), length};
}
inline std::u16string_view U16(const wchar_t* text) { return U16(text, std::char_traits<wchar_t>::length(text)); }

}  // namespace zarn
