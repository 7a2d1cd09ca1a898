#include "tests/support/stamping_model.h"

#include <vector>

namespace zarn::testing {

namespace {

// Lines of a text, of units or of bytes: CR LF, a lone CR and a lone LF each end a line; U+0000 is
// a character like any other.
template <class TString>
std::vector<TString> SplitLines(const TString& text) {
    std::vector<TString> lines;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        while (pos < text.size() && text[pos] != '\r' && text[pos] != '\n') ++pos;
        lines.push_back(text.substr(start, pos - start));
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    return lines;
}

// Each line that ends a record (the quotes since the last record end even in number) gets stamp.
template <class TString>
TString StampLines(const std::vector<TString>& lines, const TString& stamp) {
    TString joined;
    std::int64_t quotes = 0;
    for (const TString& line : lines) {
        for (auto unit : line) quotes += unit == '"';
        joined += line;
        if (quotes % 2 == 0) {
            joined += stamp;
            quotes = 0;
        }
        joined += {'\r', '\n'};
    }
    return joined;
}

std::string Encode(TCodePage& codePage, std::u16string_view text) {
    std::string out(text.size() * codePage.MaxBytesPerUnit(), '\0');
    out.resize(text.empty() ? 0 : codePage.Encode(text, out.data()));
    return out;
}

}  // namespace

std::string ModelStamp(const std::string& file, TCodePage& ansi, TCodePage& utf8, std::u16string_view stamp,
                       TTextChanges* changes) {
    // The byte order marks, the first that the file begins with.
    const bool little = file.starts_with("\xFF\xFE"), big = !little && file.starts_with("\xFE\xFF");
    const bool isUtf8 = !little && !big && file.starts_with("\xEF\xBB\xBF");
    if (!little && !big && !isUtf8) return StampLines(SplitLines(file), Encode(ansi, stamp));  // byte for byte
    const std::string rest = file.substr(little || big ? 2 : 3);
    std::u16string text;
    if (little || big) {
        for (std::size_t i = 0; i + 1 < rest.size(); i += 2) {
            const auto lo = static_cast<unsigned char>(rest[little ? i : i + 1]);
            const auto hi = static_cast<unsigned char>(rest[little ? i + 1 : i]);
            text += static_cast<char16_t>(hi << 8 | lo);
        }
    } else if (!rest.empty()) {
        text.resize(rest.size());
        text.resize(utf8.Decode(rest, text.data()));
    }
    const std::vector<std::u16string> lines = SplitLines(text);
    if (changes != nullptr) {
        *changes = TTextChanges();
        changes->lastByteLeftOut = (little || big) && rest.size() % 2 != 0;
        TReplacements* const replaced = &changes->replaced;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            ForEachCharacter(lines[i], [&](std::u16string_view character) {
                if (!ansi.Replaces(character)) return true;
                if (replaced->count == 0) replaced->line = i + 1;
                AddReplaced(*replaced, character);
                return true;
            });
        }
    }
    return Encode(ansi, StampLines(lines, std::u16string(stamp)));
}

namespace {

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::string AcrossOffset(std::string prefix, std::size_t offset, const std::string& bytes) {
    for (int i = 0; prefix.size() < offset - 1; ++i) prefix += std::to_string(i % 10) + (i % 7 == 6 ? "\r\n" : ",");
    prefix.resize(offset - 1);
    return prefix + bytes + ",\"x\ny\"\r\nend";
}

std::string GenerateFile(std::mt19937& random) {
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    const int length = pick(4) == 0 ? pick(8) : pick(400);
    std::string file;
    switch (pick(6)) {
    case 0: {  // UTF-16, either order, often with an odd last byte
        const bool little = pick(2) == 0;
        file = little ? "\xFF\xFE" : "\xFE\xFF";
        static const char16_t units[] = {u'a', u'"', u',', u'\r', u'\n', 0, 0xD83D, 0xDE00, 0x3042, 0x00E9, 0xFF02, 0x02BA, 0x030E, 0xFF0C};
        for (int i = 0; i < length; ++i) {
            const char16_t unit = pick(8) == 0 ? static_cast<char16_t>(random()) : units[pick(std::size(units))];
            file += static_cast<char>(little ? unit & 0xFF : unit >> 8);
            file += static_cast<char>(little ? unit >> 8 : unit & 0xFF);
        }
        if (pick(3) == 0) file += 'x';
        break;
    }
    case 1: {  // UTF-8 after its mark, mostly well-formed
        file = "\xEF\xBB\xBF";
        static const char32_t codes[] = {U'a', U'"', U',', U'\r', U'\n', 0, 0xE9, 0x3042, 0x1F600, 0x201C, 0xFF02, 0x02BA, 0x030E, 0xFF0C};
        for (int i = 0; i < length; ++i) AppendUtf8(file, codes[pick(std::size(codes))]);
        // Now and then one thing malformed: a stray continuation byte, or an overlong or surrogate
        // sequence that looks like a three-byte character.
        static const char* const malformed[] = {"\x80", "\xBF", "\xE0\x80\xA2", "\xED\xA0\x80", "\xE0\x9F\xBF"};
        if (pick(4) == 0) file.insert(3 + pick(static_cast<int>(file.size() - 2)), malformed[pick(std::size(malformed))]);
        break;
    }
    case 2: {  // UTF-8 without its mark (so in the ANSI code page), with bytes that are not well-formed
        static const char32_t codes[] = {U'a', U'"', U',', U'\r', U'\n', 0, 0xE9, 0x3042, 0xFF71, 0x1F600};
        static const char* const bad[] = {"\x80", "\xE3\x81", "\xED\xA0\x80", "\xF0\x80\x80\x80", "\xC0\xAF", "\xFF", "\xF4\x90\x80\x80"};
        for (int i = 0; i < length; ++i) {
            if (pick(10) == 0) file += bad[pick(std::size(bad))];
            else AppendUtf8(file, codes[pick(std::size(codes))]);
        }
        break;
    }
    default: {  // bytes in the ANSI code page, with lead bytes, high bytes and stray marks
        static const char bytes[] = {'a', 'b', '"', ',', '\r', '\n', '\0', '\x81', '\x82', '\xE3', '\xFC', '\xA0', '\xEF', '\xFF', '\xFE', '@'};
        for (int i = 0; i < length; ++i) file += pick(8) == 0 ? static_cast<char>(random()) : bytes[pick(std::size(bytes))];
        break;
    }
    }
    return file;
}

}  // namespace zarn::testing
