#include "textfile/utf8.h"

#include <cstdint>
#include <cstring>

namespace zarn {

std::optional<std::size_t> DecodeUtf8(std::string_view bytes, char16_t* out) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    char16_t* const start = out;
    auto continuation = [&](std::size_t at) { return (p[at] & 0xC0) == 0x80; };
    std::size_t i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time.
        if (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                for (int k = 0; k < 8; ++k) out[k] = p[i + k];
                out += 8;
                i += 8;
                continue;
            }
        }
        const unsigned lead = p[i];
        if (lead < 0x80) {
            *out++ = static_cast<char16_t>(lead);
            ++i;
        } else if (lead < 0xC2) {
            return std::nullopt;  // a continuation byte alone, or the overlong C0 and C1
        } else if (lead < 0xE0) {
            if (i + 1 >= n || !continuation(i + 1)) return std::nullopt;
            *out++ = static_cast<char16_t>((lead & 0x1F) << 6 | (p[i + 1] & 0x3F));
            i += 2;
        } else if (lead < 0xF0) {
            if (i + 2 >= n || !continuation(i + 2)) return std::nullopt;
            const unsigned second = p[i + 1];
            // E0 needs A0 and above (no overlong form), ED below A0 (no surrogate).
            const unsigned low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
            if (second < low || second > high) return std::nullopt;
            *out++ = static_cast<char16_t>((lead & 0x0F) << 12 | (second & 0x3F) << 6 | (p[i + 2] & 0x3F));
            i += 3;
        } else if (lead < 0xF5) {
            if (i + 3 >= n || !continuation(i + 2) || !continuation(i + 3)) return std::nullopt;
            const unsigned second = p[i + 1];
            // F0 needs 90 and above (no overlong form), F4 below 90 (nothing above U+10FFFF).
            const unsigned low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
            if (second < low || second > high) return std::nullopt;
            const std::uint32_t code =
                ((lead & 0x07) << 18 | (second & 0x3F) << 12 | (p[i + 2] & 0x3F) << 6 | (p[i + 3] & 0x3F)) - 0x10000;
            *out++ = static_cast<char16_t>(0xD800 | code >> 10);
            *out++ = static_cast<char16_t>(0xDC00 | (code & 0x3FF));
            i += 4;
        } else {
            return std::nullopt;
        }
    }
    return static_cast<std::size_t>(out - start);
}

}  // namespace zarn
