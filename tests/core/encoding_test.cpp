// Byte order marks and where a stream of bytes may be cut between characters.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/fake_code_pages.h"

namespace zarn::testing {
namespace {

TEST(DetectBom, Table) {
    struct TCase {
        std::string bytes;
        TEncoding encoding;
        std::size_t size;
    } cases[] = {
        {"", TEncoding::Ansi, 0},                        // empty file
        {"\xFF\xFE", TEncoding::Utf16Le, 2},             // mark alone
        {"\xFF\xFE" "a", TEncoding::Utf16Le, 2},
        {std::string("\xFF\xFE\0\0", 4), TEncoding::Utf16Le, 2},  // UTF-32LE mark reads as UTF-16LE
        {"\xFE\xFF", TEncoding::Utf16Be, 2},
        {"\xEF\xBB\xBF", TEncoding::Utf8, 3},
        {"\xEF\xBB", TEncoding::Ansi, 0},                // mark cut short
        {"\xFF", TEncoding::Ansi, 0},
        {"a\xFF\xFE", TEncoding::Ansi, 0},               // a mark later in the file is text
    };
    for (const TCase& c : cases) {
        const TBom bom = DetectBom(c.bytes);
        EXPECT_EQ(c.encoding, bom.encoding) << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(c.size, bom.size) << ::testing::PrintToString(c.bytes);
    }
}

// UTF-8 is cut where a character begins, with at least three bytes after the cut: a lenient
// converter decodes what ends at the cut among them as it would among text.
TEST(WholeUtf8Bytes, CutsWhereACharacterBegins) {
    struct TCase {
        std::string bytes;
        std::size_t whole;
    } cases[] = {
        {"a", 0},                                    // fewer than four bytes: all wait
        {"abcd", 1},
        {"a\xE3\x81\x82", 1},                       // before the character that begins there
        {"ab\xE3\x81\x82", 2},
        {"a\xE3\x81\x82xyz", 4},
        {"abcd\xE3\x81", 3},                         // a sequence begun
        {"abc\xF0\x9F\x98\x80", 3},                  // never after a byte that continues one
        {"a\xE3\r\nxyz", 4},                         // a malformed sequence and what follows it
        {"\x80\x80\x80\x80\x80", 0},                 // stray continuation bytes: a boundary only
        {"\x80\x80\x80\x80\x80\x80\x80", 4},         //   three bytes past the last one that began
        {std::string(300, '\xEF'), 297},             // a run of lead bytes of any length
        {"\xFF\xFF\xFF\xFF", 1},                     // never part of a sequence
    };
    for (const TCase& c : cases) EXPECT_EQ(c.whole, WholeUtf8Bytes(c.bytes)) << ::testing::PrintToString(c.bytes);
}

TEST(IsAscii, Bytes) {
    EXPECT_TRUE(IsAscii(std::string_view("")));
    EXPECT_TRUE(IsAscii(std::string_view("0123456789abcdef\x7F")));
    EXPECT_FALSE(IsAscii(std::string_view("0123456789abcdef\x80")));   // in the tail
    EXPECT_FALSE(IsAscii(std::string_view("\x80" "123456789abcdef")));  // in a word
    // Past the first 64 bytes: in a whole block and in the tail after blocks.
    for (std::size_t at : {std::size_t{10}, std::size_t{70}, std::size_t{129}}) {
        std::string bytes(130, 'a');
        EXPECT_TRUE(IsAscii(bytes));
        bytes[at] = '\xC0';
        EXPECT_FALSE(IsAscii(bytes)) << at;
    }
}

// A conversion whose best fits are record marks: each character that is no mark but gives a mark's
// byte is written as the default character, whatever else is around it; the marks themselves, and
// every other character, as the conversion writes them.
TEST(EncodeKeepingRecords, WritesNoSubstituteAsARecordMark) {
    // Latin-1 with best fits to every mark, and a two-byte character whose second byte is a comma.
    const auto convert = [](std::u16string_view text, char* out) {
        char* start = out;
        for (const char16_t unit : text) {
            if (unit < 0x100) *out++ = static_cast<char>(unit);
            else if (unit == 0xFF02) *out++ = '"';
            else if (unit == 0xFF0C) *out++ = ',';
            else if (unit == 0x240D) *out++ = '\r';
            else if (unit == 0x240A) *out++ = '\n';
            else if (unit == 0x2400) *out++ = '\0';
            else if (unit == 0x3001) out = std::copy_n("\x81,", 2, out);
            else *out++ = '?';
        }
        return static_cast<std::size_t>(out - start);
    };
    struct TCase {
        std::u16string text;
        std::string bytes;
        std::string defaultCharacter = "?";
    } cases[] = {
        {u"a,\"b\"\r\n", "a,\"b\"\r\n"},                                  // marks of the text
        {u"\xE9t\xE9", "\xE9t\xE9"},                                       // nothing fitted to a mark
        {u"1,\xFF02x\xFF02,2", "1,?x?,2"},                                // quotes
        {u"a\xFF0C" "b", "a?b"},                                          // a comma
        {u"\x240D\x240A\x2400", "???"},                                   // CR, LF and NUL
        {u"\x3001" "x", "\x81\x40x", "\x81\x40"},                         // a mark within more bytes; a wide default
        {u"\"\xFF02\"", "\"?\""},                                          // among marks of the text: looked at
        {u"\xD83D\xDE00\xFF02", "???"},                                     //   per character, a pair as one
        {std::u16string(u"\0\xFF0C", 2), std::string("\0?", 2)},          // a NUL of the text stays
    };
    for (const TCase& c : cases) {
        std::string out(2 * c.text.size(), '\0');
        out.resize(EncodeKeepingRecords(c.text, out.data(), c.defaultCharacter, convert));
        EXPECT_EQ(c.bytes, out) << ::testing::PrintToString(c.bytes);
    }
}

}  // namespace
}  // namespace zarn::testing
