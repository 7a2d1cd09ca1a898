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

std::size_t WholeCharacterBytes(const TCodePageShape& shape, std::string_view bytes) {
    const std::size_t n = bytes.size();
    switch (shape.kind) {
    case TCodePageShape::TKind::SingleByte:
        return n;
    case TCodePageShape::TKind::DoubleByte: {
        // A byte below 0x40 ends a character whether a converter takes it as the trail of a lead
        // byte before it or as a character of its own, so cutting after one is safe with any
        // converter. CSV has plenty: commas, digits, line ends.
        const std::size_t look = n < kCarryBytes ? n : kCarryBytes;
        for (std::size_t back = 1; back <= look; ++back) {
            if (static_cast<unsigned char>(bytes[n - back]) < 0x40) return n - back + 1;
        }
        // Otherwise: a byte that is not a lead byte ends a character (alone or as a trail byte,
        // the lead byte taking whatever byte follows), so the run of lead bytes after it pairs
        // up from its start; an odd run leaves its last byte waiting for its trail.
        std::size_t run = 0;
        while (run < n && shape.leadByte[static_cast<unsigned char>(bytes[n - 1 - run])]) ++run;
        if (run == n) return n - n % 2;  // the piece began at a boundary, so pairs from there
        return n - run % 2;
    }
    case TCodePageShape::TKind::Utf8: {
        // The cut goes where a character begins (a byte that continues none, or one three bytes
        // past the last byte that began anything), with at least three bytes after it: the bytes
        // that a converter may need to see to decode what ends at the cut as it would among text.
        if (n < 3) return 0;
        for (std::size_t cut = n - 3; cut > 0; --cut) {
            const auto continues = [&](std::size_t at) { return (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80; };
            if (!continues(cut) || (cut >= 3 && continues(cut - 1) && continues(cut - 2) && continues(cut - 3))) return cut;
        }
        return 0;
    }
    }
    return n;
}

bool HasPlainTrails(const TCodePageShape& shape, std::string_view bytes) {
    if (shape.kind != TCodePageShape::TKind::DoubleByte) return true;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (!shape.leadByte[p[i]]) continue;
        if (i + 1 == bytes.size() || p[i + 1] < 0x40) return false;
        ++i;
    }
    return true;
}

bool RoundTripsByConversion(TCodePage& codePage, std::string_view bytes) {
    if (codePage.Shape().kind == TCodePageShape::TKind::Utf8 || !HasPlainTrails(codePage.Shape(), bytes)) return false;
    std::u16string units(bytes.size(), u'\0');
    units.resize(bytes.empty() ? 0 : codePage.Decode(bytes, units.data()));
    std::string back(units.size() * codePage.MaxBytesPerUnit(), '\0');
    back.resize(units.empty() ? 0 : codePage.Encode(units, back.data()));
    return back == bytes;
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
