// The cached code page against the code page it caches (here the tests' own code pages).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/support/conversions.h"
#include "tests/support/fake_code_pages.h"
#include "tests/support/printing.h"
#include "textfile/cached_code_page.h"

namespace zarn::testing {
namespace {

// Counts what it is asked, and passes it on.
class TCountingCodePage final : public TCodePage {
public:
    explicit TCountingCodePage(TCodePage& inner) : inner_(inner) {}
    bool IsUtf8() const override { return inner_.IsUtf8(); }
    std::size_t Decode(std::string_view bytes, char16_t* out) override { return ++decodes, inner_.Decode(bytes, out); }
    std::size_t MaxBytesPerUnit() const override { return inner_.MaxBytesPerUnit(); }
    std::size_t Encode(std::u16string_view text, char* out) override { return ++encodes, inner_.Encode(text, out); }
    bool Replaces(std::u16string_view character) override { return ++replaces, inner_.Replaces(character); }
    int decodes = 0, encodes = 0, replaces = 0;

private:
    TCodePage& inner_;
};

// Every unit alone, and strings with surrogates, lone and paired, among other units.
TEST(CachedCodePage, EncodesAsTheCodePageItCaches) {
    TLatin1CodePage latin1;
    TDoubleByteCodePage doubleByte;
    TUtf8CodePage utf8(false);
    for (TCodePage* authority : std::initializer_list<TCodePage*>{&latin1, &doubleByte, &utf8}) {
        TCachedCodePage cached(*authority);
        for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
            const char16_t one = static_cast<char16_t>(unit);
            ASSERT_EQ(Encoded(*authority, {&one, 1}), Encoded(cached, {&one, 1})) << unit;
        }
        std::mt19937 random(5);
        for (int i = 0; i < 2000; ++i) {
            std::u16string text;
            for (int k = static_cast<int>(random() % 30); k > 0; --k) {
                const unsigned kind = random() % 4;
                text += kind == 0 ? static_cast<char16_t>(random() % 0x80)
                      : kind == 1 ? static_cast<char16_t>(0xD800 + random() % 0x800)
                                  : static_cast<char16_t>(random());
            }
            ASSERT_EQ(Encoded(*authority, text), Encoded(cached, text)) << i;
        }
    }
}

// What the cached code page replaces, as the code page it caches tells it: every unit alone, and
// the count and first of strings with surrogates, lone and paired, and replaced units among others.
TEST(CachedCodePage, ReplacesAsTheCodePageItCaches) {
    TLatin1CodePage latin1;
    TDoubleByteCodePage doubleByte;
    TUtf8CodePage utf8(false);
    for (TCodePage* authority : std::initializer_list<TCodePage*>{&latin1, &doubleByte, &utf8}) {
        TCachedCodePage cached(*authority);
        int replacedUnits = 0;
        for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
            const char16_t one = static_cast<char16_t>(unit);
            const bool expected = authority->Replaces({&one, 1});
            ASSERT_EQ(expected, cached.Replaces({&one, 1})) << std::hex << unit;
            replacedUnits += expected;
        }
        EXPECT_GT(replacedUnits, 0);
        std::mt19937 random(9);
        for (int i = 0; i < 3000; ++i) {
            std::u16string text;
            for (int k = static_cast<int>(random() % 30); k > 0; --k) {
                const unsigned kind = random() % 5;
                if (kind == 0) text += static_cast<char16_t>(random() % 0x80);
                else if (kind == 1) text += static_cast<char16_t>(0xD800 + random() % 0x800);  // lone or paired by chance
                else if (kind == 2) text += {static_cast<char16_t>(0xD800 + random() % 0x400), static_cast<char16_t>(0xDC00 + random() % 0x400)};
                else text += static_cast<char16_t>(random());
            }
            TReplacements expected;
            ForEachCharacter(text, [&](std::u16string_view character) {
                if (authority->Replaces(character)) AddReplaced(expected, character);
                return true;
            });
            TReplacements actual;
            std::string out(text.size() * cached.MaxBytesPerUnit(), '\0');
            out.resize(cached.Encode(text, out.data(), actual));
            ASSERT_EQ(Encoded(*authority, text), out) << i;
            ASSERT_EQ(expected.count, actual.count) << i;
            ASSERT_TRUE(expected.first == actual.first) << i;
        }
    }
}

// UTF-8 straight into the code page: where it answers, its bytes are those of decoding and
// encoding; it answers for text of ASCII and characters below U+10000, and declines a character
// the code page replaces (also one whose bytes would hold a record mark's, which the code page
// writes as "?"), a four-byte character and bytes that are not well-formed. With every variant of
// the kernels.
TEST(CachedCodePage, EncodesUtf8AsDecodingAndEncoding) {
    TLatin1CodePage latin1;
    TDoubleByteCodePage doubleByte;
    TUtf8CodePage utf8(true);
    auto utf8Of = [&](std::u16string_view text) { return Encoded(utf8, text); };
    for (const TKernelLevel level : KernelLevels()) {
        for (TCodePage* ansi : std::initializer_list<TCodePage*>{&latin1, &doubleByte}) {
            TCachedCodePage cached(*ansi, KernelsOf(level));
            auto check = [&](const std::string& bytes, bool answers) {
                std::string out(bytes.size(), '\0');
                const auto count = cached.EncodeUtf8(bytes, out.data());
                ASSERT_EQ(answers, count.has_value()) << Hex(bytes);
                if (count) ASSERT_EQ(Encoded(*ansi, Decoded(utf8, bytes)), out.substr(0, *count)) << Hex(bytes);
            };
            for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
                if (IsHighSurrogate(static_cast<char16_t>(unit)) || IsLowSurrogate(static_cast<char16_t>(unit))) continue;
                const char16_t one = static_cast<char16_t>(unit);
                const bool replaced = ansi->Replaces({&one, 1});
                for (const std::u16string& text : {std::u16string(1, one), u"ab," + std::u16string(1, one) + u"\r\n"}) check(utf8Of(text), !replaced);
            }
            check("\xF0\x9F\x98\x80", false);                  // four bytes: a surrogate pair
            check("\xE3\x81", false);                            // cut short
            check("\xED\xA0\x80", false);                        // an encoded surrogate
            check("\xC0\x80", false);                            // overlong
            // The same among text, where the four-bytes-at-a-time loop meets them: each looks like a
            // three-byte character there.
            // And where 64 bytes at a time are taken: at every offset of such a block, the last ones
            // too, whose character ends past it.
            const std::string mixed = utf8Of(u"12,\x6771\x4EAC,2026/12/10,\x682A\x5F0F,");  // ASCII and ideographs
            // Each form after a well-formed character of the unit's table page, which fills it: the
            // unit that the form would be misread as has an entry then (U+4E41 in the double-byte
            // code page).
            const struct {
                const char* malformed;
                const char* before;
            } forms[] = {
                {"\xE0\x80\xA2", "\xE3\x81\x82"}, {"\xE0\x9F\xBF", "\xE3\x81\x82"}, {"\xED\xA0\x80", "\xE3\x81\x82"},
                {"\xED\xBF\xBF", "\xE3\x81\x82"}, {"\xE3\x81\x41", "\xE3\x81\x82"}, {"\xE3\x41\x81", "\xE3\x81\x82"},
                {"\xE4\xB9\x41", "\xE4\xB9\x80"},  // third byte no continuation
                {"\xE4\x39\x81", "\xE4\xB9\x80"},  // second byte no continuation
            };
            for (const auto& form : forms) {
                const std::string malformed = form.malformed, before = form.before;
                check("abc," + malformed + "xyz,\xE3\x81\x82", false);
                check(before + malformed + before + before, false);
                for (std::size_t at = 0; at < 140; ++at) {
                    std::string lead;
                    while (lead.size() < at) lead += lead.size() % 7 == 0 && lead.size() + 3 <= at ? before : "a";
                    check(lead + malformed + mixed + mixed + mixed + mixed, false);
                }
            }
            std::mt19937 random(8);
            for (int i = 0; i < 2000; ++i) {
                std::u16string text;
                for (int k = static_cast<int>(random() % 300); k > 0; --k) {
                    text += random() % 3 == 0 ? static_cast<char16_t>(random() % 0x80) : static_cast<char16_t>(0x4E00 + random() % 0x2000);
                }
                std::string out(utf8Of(text).size(), '\0');
                const auto count = cached.EncodeUtf8(utf8Of(text), out.data());
                if (count) ASSERT_EQ(Encoded(*ansi, text), out.substr(0, *count)) << i;
            }
        }
    }
}

// Each unit is asked of the code page it caches at most once, for its bytes and whether it is
// replaced: a second pass over the same text asks nothing.
TEST(CachedCodePage, AsksTheCodePageItCachesOnce) {
    TDoubleByteCodePage doubleByte;
    TCountingCodePage counting(doubleByte);
    TCachedCodePage cached(counting);
    const int asked = counting.encodes;  // about the single bytes, when made
    std::u16string text;
    for (char16_t unit = 0x4E00; unit < 0x5200; ++unit) text += unit;
    Encoded(cached, text);
    const int encodes = counting.encodes;
    EXPECT_EQ(4 * 256, encodes - asked) << "one call for each unit of the four pages it touched";
    Encoded(cached, text);
    EXPECT_EQ(encodes, counting.encodes);
    EXPECT_EQ(counting.encodes, counting.replaces);
    TReplacements replaced;
    std::string out(2 * text.size(), '\0');
    cached.Encode(text, out.data(), replaced);
    EXPECT_EQ(encodes, counting.encodes);
    EXPECT_EQ(encodes, counting.replaces);
}

}  // namespace
}  // namespace zarn::testing
