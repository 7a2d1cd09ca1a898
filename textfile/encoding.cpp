#include "textfile/encoding.h"

#include <cstring>

namespace zarn {

TBom DetectBom(std::string_view bytes) {
    auto startsWith = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (startsWith("\xFF\xFE")) return {TEncoding::Utf16Le, 2};
    if (startsWith("\xFE\xFF")) return {TEncoding::Utf16Be, 2};
    if (startsWith("\xEF\xBB\xBF")) return {TEncoding::Utf8, 3};
    return {TEncoding::Ansi, 0};
}

// The cut goes where a character begins (a byte that continues none, or one three bytes past the
// last byte that began anything), with at least three bytes after it: the bytes that a converter
// may need to see to decode what ends at the cut as it would among text.
std::size_t WholeUtf8Bytes(std::string_view bytes) {
    const std::size_t n = bytes.size();
    if (n < 3) return 0;
    const auto continues = [&](std::size_t at) { return (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80; };
    for (std::size_t cut = n - 3; cut > 0; --cut) {
        if (!continues(cut) || (cut >= 3 && continues(cut - 1) && continues(cut - 2) && continues(cut - 3))) return cut;
    }
    return 0;
}

bool ReplacedByConversion(TCodePage& codePage, std::u16string_view character) {
    char bytes[16];
    if (character.empty() || character.size() * codePage.MaxBytesPerUnit() > sizeof bytes) return true;
    const std::size_t count = codePage.Encode(character, bytes);
    char16_t back[16];
    const std::size_t units = count == 0 ? 0 : codePage.Decode(std::string_view(bytes, count), back);
    return std::u16string_view(back, units) != character;
}

std::span<const TJisName> JisNames(unsigned codePage) {
    static constexpr TJisName kShiftJis[] = {
        {u'\x301C', {'\x81', '\x60'}},  // WAVE DASH, read back as U+FF5E FULLWIDTH TILDE
        {u'\x2016', {'\x81', '\x61'}},  // DOUBLE VERTICAL LINE, read back as U+2225 PARALLEL TO
        {u'\x2212', {'\x81', '\x7C'}},  // MINUS SIGN, read back as U+FF0D FULLWIDTH HYPHEN-MINUS
        {u'\x2014', {'\x81', '\x5C'}},  // EM DASH, read back as U+2015 HORIZONTAL BAR
        {u'\x00A2', {'\x81', '\x91'}},  // CENT SIGN, read back as U+FFE0 FULLWIDTH CENT SIGN
        {u'\x00A3', {'\x81', '\x92'}},  // POUND SIGN, read back as U+FFE1 FULLWIDTH POUND SIGN
        {u'\x00AC', {'\x81', '\xCA'}},  // NOT SIGN, read back as U+FFE2 FULLWIDTH NOT SIGN
    };
    if (codePage == 932) return kShiftJis;
    return {};
}

// Character by character, so that the first replaced one's bytes are found.
std::size_t TPlainAnsiEncoder::Encode(std::u16string_view text, char* out, TReplacements& replaced) {
    char* o = out;
    ForEachCharacter(text, [&](std::u16string_view character) {
        if (codePage_.Replaces(character)) AddReplaced(replaced, character, static_cast<std::size_t>(o - out));
        o += codePage_.Encode(character, o);
        return true;
    });
    return static_cast<std::size_t>(o - out);
}

// Looks at 64 bytes at a time and stops at the first block that holds a byte of 0x80 or above.
bool IsAscii(std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t count = bytes.size();
    for (; count >= 64; p += 64, count -= 64) {
        std::uint64_t any = 0;
        for (std::size_t i = 0; i < 64; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            any |= word;
        }
        if (any & 0x8080808080808080ull) return false;
    }
    for (; count > 0; ++p, --count) {
        if (static_cast<unsigned char>(*p) >= 0x80) return false;
    }
    return true;
}

}  // namespace zarn
