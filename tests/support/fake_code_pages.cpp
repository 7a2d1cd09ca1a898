#include "tests/support/fake_code_pages.h"

#include "win/failure.h"

namespace zarn::testing {

std::size_t TLatin1CodePage::Decode(std::string_view bytes, char16_t* out) {
    for (unsigned char byte : bytes) *out++ = byte;
    return bytes.size();
}

std::size_t TLatin1CodePage::Encode(std::u16string_view text, char* out) {
    return EncodeKeepingRecords(text, out, "?", [](std::u16string_view part, char* to) {
        for (char16_t unit : part) {
            if (unit < 0x100) *to++ = static_cast<char>(unit);
            else if (unit == 0x2018 || unit == 0x2019) *to++ = '\'';
            else if (unit == 0xFF02 || unit == 0x02BA || unit == 0x030E) *to++ = '"';  // not quotes, fitted to one
            else if (unit == 0xFF0C) *to++ = ',';                                     // not a comma, fitted to one
            else *to++ = '?';
        }
        return part.size();
    });
}

std::size_t TDoubleByteCodePage::Decode(std::string_view bytes, char16_t* out) {
    char16_t* start = out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (!IsLead(byte)) {
            *out++ = byte < 0x80 ? byte : static_cast<char16_t>(0xFF00 + byte);
        } else if (i + 1 < bytes.size() && bytes[i + 1] != 0) {
            *out++ = static_cast<char16_t>(0x4E00 + (byte - 0x81) * 256 + static_cast<unsigned char>(bytes[++i]));
        } else {
            *out++ = 0x30FB;
        }
    }
    return static_cast<std::size_t>(out - start);
}

std::size_t TDoubleByteCodePage::Encode(std::u16string_view text, char* out) {
    return EncodeKeepingRecords(text, out, "?", [](std::u16string_view part, char* to) {
        char* start = to;
        for (char16_t unit : part) {
            if (unit < 0x80) {
                *to++ = static_cast<char>(unit);
            } else if (unit >= 0x4E00 && unit < 0x4E00 + 0x7C * 256) {
                *to++ = static_cast<char>(0x81 + (unit - 0x4E00) / 256);
                *to++ = static_cast<char>((unit - 0x4E00) % 256);
            } else if (unit >= 0xFF80 && !IsLead(unit - 0xFF00u)) {
                *to++ = static_cast<char>(unit - 0xFF00);
            } else {
                *to++ = '?';
            }
        }
        return static_cast<std::size_t>(to - start);
    });
}

std::size_t TUtf8CodePage::Decode(std::string_view bytes, char16_t* out) {
    char16_t* start = out;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char byte = p[i];
        std::size_t length = byte < 0x80 ? 1 : byte < 0xC2 ? 0 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : byte < 0xF5 ? 4 : 0;
        char32_t code = length == 1 ? byte : length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
        bool good = length != 0 && i + length <= n;
        for (std::size_t k = 1; good && k < length; ++k) {
            good = (p[i + k] & 0xC0) == 0x80;
            code = code << 6 | (p[i + k] & 0x3F);
        }
        if (good && length == 3) good = code >= 0x800 && (code < 0xD800 || code > 0xDFFF);
        if (good && length == 4) good = code >= 0x10000 && code <= 0x10FFFF;
        if (!good) {
            if (strict_) throw TFailure(u"bad UTF-8");
            *out++ = 0xFFFD;
            // As the platform's converter: a sequence of three or four bytes cut by the end of the
            // bytes takes everything up to the end into its one replacement character.
            i = length >= 3 && i + length > n ? n : i + 1;
            continue;
        }
        if (code >= 0x10000) {
            *out++ = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            *out++ = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            *out++ = static_cast<char16_t>(code);
        }
        i += length;
    }
    return static_cast<std::size_t>(out - start);
}

std::size_t TUtf8CodePage::Encode(std::u16string_view text, char* out) {
    char* start = out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            *out++ = static_cast<char>(code);
        } else if (code < 0x800) {
            *out++ = static_cast<char>(0xC0 | code >> 6);
            *out++ = static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            *out++ = static_cast<char>(0xE0 | code >> 12);
            *out++ = static_cast<char>(0x80 | (code >> 6 & 0x3F));
            *out++ = static_cast<char>(0x80 | (code & 0x3F));
        } else {
            *out++ = static_cast<char>(0xF0 | code >> 18);
            *out++ = static_cast<char>(0x80 | (code >> 12 & 0x3F));
            *out++ = static_cast<char>(0x80 | (code >> 6 & 0x3F));
            *out++ = static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return static_cast<std::size_t>(out - start);
}

}  // namespace zarn::testing
