// Byte order marks and where a stream of bytes may be cut between characters.
#include <gtest/gtest.h>

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

TEST(WholeCharacterBytes, DoubleByte) {
    TDoubleByteCodePage codePage;
    struct TCase {
        std::string bytes;
        std::size_t whole;
    } cases[] = {
        {"", 0},
        {"ab", 2},
        {"a\x82", 1},              // a lead byte waits for its trail
        {"\x82\xA0", 2},           // a whole pair
        {"\x82\x82", 2},           // a lead byte as trail
        {"\x82\x82\x82", 2},       // three lead bytes: the last waits
        {"a\x82\x82\x82", 3},
        {"\xA0\x82\x82", 3},       // a byte that is no lead byte ends a character
        {std::string("\x82\0", 2), 2},  // zero is never a trail, so it ends the lead alone
        {"\x82" "a", 2},           // ASCII as trail byte
        {"1\x82\x82\x82", 1},      // after the last byte below 0x40, whatever follows
        {"\x82\n\x82", 2},         // a line end ends a character as trail or alone
    };
    for (const TCase& c : cases) EXPECT_EQ(c.whole, WholeCharacterBytes(codePage.Shape(), c.bytes)) << ::testing::PrintToString(c.bytes);
}

TEST(WholeCharacterBytes, Utf8) {
    TUtf8CodePage codePage(true);
    struct TCase {
        std::string bytes;
        std::size_t whole;
    } cases[] = {
        {"a", 1},
        {"a\xE3", 1},                  // three-byte sequence begun
        {"a\xE3\x81", 1},
        {"a\xE3\x81\x82", 4},          // complete
        {"\xF0\x9F\x98", 0},           // four-byte sequence missing its last byte
        {"\xF0\x9F\x98\x80", 4},
        {"\x80\x80\x80\x80\x80", 5},   // stray continuation bytes: nothing to wait for
        {"\xC3", 0},
        {"\xFF", 1},                   // never part of a sequence
        // A converter may take what follows a lead byte, up to its sequence's length, into that
        // (malformed) sequence when the bytes end within it: such bytes wait with their lead.
        {"a\xE3\r", 1},
        {"a\xE3\"", 1},
        {"a\xF0\x9F\n", 1},
        {"a\xF0\nb", 1},
        {"a\xE3\r\n", 4},            // the sequence's length is over: nothing waits
        {"a\xF0\x41\xE3", 1},         // a later lead byte within an earlier one's reach
        {"a\xF0\x80\x80\x80\xE3\x81", 5},
        {"a\xC3\r", 3},               // a two-byte lead alone takes nothing with it
    };
    for (const TCase& c : cases) EXPECT_EQ(c.whole, WholeCharacterBytes(codePage.Shape(), c.bytes)) << ::testing::PrintToString(c.bytes);
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

}  // namespace
}  // namespace zarn::testing
