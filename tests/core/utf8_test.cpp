// UTF-8 decoded by its definition.
#include <gtest/gtest.h>

#include "tests/support/fake_code_pages.h"
#include "tests/support/outcome.h"
#include "tests/support/printing.h"
#include "textfile/utf8.h"

namespace zarn::testing {
namespace {

std::string Decoded(std::string_view bytes) {
    std::u16string units(bytes.size(), u'\0');
    const auto count = DecodeUtf8(bytes, units.data());
    if (!count) return "malformed";
    units.resize(*count);
    return std::string(reinterpret_cast<const char*>(units.data()), 2 * units.size());
}

std::string Units(std::u16string_view units) { return std::string(reinterpret_cast<const char*>(units.data()), 2 * units.size()); }

TEST(DecodeUtf8, Table) {
    struct TCase {
        std::string bytes;
        bool wellFormed;
        std::u16string units;
    } cases[] = {
        {"", true, u""},
        {"plain ascii, sixteen+", true, u"plain ascii, sixteen+"},  // eight at a time, then one by one
        {"\xC2\x80", true, u"\x0080"},                              // the first two-byte character
        {"\xDF\xBF", true, u"\x07FF"},
        {"\xE0\xA0\x80", true, u"\x0800"},                          // the first three-byte character
        {"\xED\x9F\xBF", true, u"\xD7FF"},                          // just below the surrogates
        {"\xEE\x80\x80", true, u"\xE000"},                          // just above them
        {"\xEF\xBF\xBF", true, u"\xFFFF"},                          // a noncharacter is still a character
        {"\xF0\x90\x80\x80", true, u"\xD800\xDC00"},                // U+10000 as a surrogate pair
        {"\xF4\x8F\xBF\xBF", true, u"\xDBFF\xDFFF"},                // U+10FFFF, the last
        {"a\xE3\x81\x82z", true, u"a\x3042z"},
        {"\x80", false, u""},                                         // a continuation byte alone
        {"\xC0\x80", false, u""},                                     // overlong NUL
        {"\xC1\xBF", false, u""},                                     // overlong
        {"\xE0\x9F\xBF", false, u""},                                 // overlong three-byte form
        {"\xED\xA0\x80", false, u""},                                 // an encoded surrogate
        {"\xF0\x8F\xBF\xBF", false, u""},                             // overlong four-byte form
        {"\xF4\x90\x80\x80", false, u""},                             // above U+10FFFF
        {"\xF5\x80\x80\x80", false, u""},                             // a byte UTF-8 never uses
        {"\xFF", false, u""},
        {"\xE3\x81", false, u""},                                     // cut short at the end
        {"\xE3\x81z", false, u""},                                    // cut short by an ASCII byte
        {"\xF0\x9F\x98", false, u""},
        {"abcdefg\xC3", false, u""},                                  // after a run of ASCII
    };
    for (const TCase& c : cases) EXPECT_EQ(c.wellFormed ? Units(c.units) : "malformed", Decoded(c.bytes)) << Hex(c.bytes);
}

// A character cut short by the end of the view is refused, though the bytes after the view would
// complete it: nothing past the view is read.
TEST(DecodeUtf8, ReadsNothingPastTheView) {
    struct TCase {
        std::string_view bytes;
    } cases[] = {
        {std::string_view("\xC3\xA9", 1)},              // two bytes, one in view
        {std::string_view("\xE3\x81\x81", 2)},          // three bytes, two in view
        {std::string_view("ab\xE3\x81\x81", 4)},        //   after ASCII
        {std::string_view("\xF0\x9F\x98\x80", 3)},      // four bytes, three in view
        {std::string_view("\xF0\x9F\x98\x80", 2)},
    };
    for (const TCase& c : cases) EXPECT_EQ("malformed", Decoded(c.bytes)) << Hex(c.bytes);
}

// Against the strict decoder of the tests' UTF-8 code page, which is written another way: every
// sequence of one and two bytes, and of three and four with telling bytes after the first two.
TEST(DecodeUtf8, AgreesWithAnotherDecoderOverSequencesOfEveryLength) {
    TUtf8CodePage other(true);
    auto reference = [&](const std::string& bytes) {
        return Outcome([&] {
            std::u16string units(bytes.size(), u'\0');
            units.resize(bytes.empty() ? 0 : other.Decode(bytes, units.data()));
            return Units(units);
        });
    };
    auto check = [&](const std::string& bytes) {
        for (const std::string& text : {bytes, "abcdefgh" + bytes, bytes + "\xE3\x81\x82"}) {
            const std::string expected = reference(text);
            ASSERT_EQ(expected.starts_with("failure") ? "malformed" : expected, Decoded(text)) << Hex(text);
        }
    };
    const unsigned char telling[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
    for (unsigned first = 0; first < 256; ++first) {
        check(std::string(1, static_cast<char>(first)));
        for (unsigned second = 0; second < 256; ++second) {
            const std::string two = {static_cast<char>(first), static_cast<char>(second)};
            check(two);
            if (first < 0xE0) continue;
            for (unsigned char third : telling) {
                check(two + static_cast<char>(third));
                if (first < 0xF0) continue;
                for (unsigned char fourth : telling) check(two + static_cast<char>(third) + static_cast<char>(fourth));
            }
        }
    }
}

}  // namespace
}  // namespace zarn::testing
