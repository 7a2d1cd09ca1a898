// Text for test failure messages.
#pragma once

#include <string>
#include <string_view>

#include "textfile/encoding.h"

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

// What was replaced: the count, the first character's units in hexadecimal, and its line.
inline std::string Described(const TReplacements& replaced) {
    std::string text = "replaced " + std::to_string(replaced.count);
    if (replaced.count == 0) return text;
    text += ", first";
    for (char16_t unit : replaced.first) text += " " + std::to_string(unit);
    return text + " on line " + std::to_string(replaced.line);
}

// What the text could not keep: the characters replaced, and a last odd byte left out.
inline std::string Described(const TTextChanges& changes) {
    return Described(changes.replaced) + (changes.lastByteLeftOut ? ", last byte left out" : "");
}

}  // namespace zarn::testing
