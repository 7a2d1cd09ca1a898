// Text for test failure messages.
#pragma once

#include <string>
#include <string_view>

namespace zarn::testing {

// UTF-16 text with every unit outside ASCII shown as "?".
inline std::string Narrow(std::u16string_view text) {
    std::string out;
    for (char16_t unit : text) out += unit < 0x80 ? static_cast<char>(unit) : '?';
    return out;
}

// Bytes as hexadecimal pairs.
inline std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char byte : bytes) hex += {digits[byte >> 4], digits[byte & 15], ' '};
    return hex;
}

}  // namespace zarn::testing
