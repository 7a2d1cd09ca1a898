// The platform's code pages, and the cached code page against them: every fast path gives the
// platform's bytes. Run once per ANSI code page that the locale gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "stamp/record_stamper.h"
#include "tests/support/conversions.h"
#include "tests/support/memory_io.h"
#include "tests/support/outcome.h"
#include "tests/support/printing.h"
#include "tests/support/stamping_model.h"
#include "textfile/cached_code_page.h"
#include "textfile/kernels.h"
#include "textfile/win32_code_page.h"
#include "win/failure.h"
#include "win/utf16.h"

namespace zarn::testing {
namespace {

// The system's ANSI code page of this run, and UTF-8 as the ANSI code page (as Windows gives it
// when "Use Unicode UTF-8 for worldwide language support" is on, which no locale gives here),
// against the whole-file model: the pipeline with the cached code pages, the model with the
// platform's own; the bytes written, and what was replaced with the line of the first.
// Every variant of the hot loops that this processor runs goes over the same inputs.
TEST(Win32CodePage, PipelineMatchesTheWholeFileModel) {
    for (const TKernelLevel level : KernelLevels()) {
        for (const UINT codePage : {UINT{CP_ACP}, UINT{CP_UTF8}}) {
            const TKernels& kernels = KernelsOf(level);
            TWin32CodePage ansi(codePage, 0, u"invalid");
            TWin32CodePage utf8(CP_UTF8, MB_ERR_INVALID_CHARS, u"bad UTF-8");
            TCachedCodePage cachedAnsi(ansi, kernels), cachedUtf8(utf8, kernels), aheadAnsi(ansi, kernels), aheadUtf8(utf8, kernels);
            std::mt19937 random(GetACP() + codePage);
            const std::u16string stamp = u",2026/12/10";
            for (int i = 0; i < 1500; ++i) {
                const std::string file = GenerateFile(random);
                const std::string expected = Outcome([&] {
                    TTextChanges changes;
                    const std::string bytes = ModelStamp(file, ansi, utf8, stamp, &changes);
                    return bytes + Described(changes);
                });
                const std::size_t most = std::uniform_int_distribution<std::size_t>(1, 40)(random);
                const std::string actual = Outcome([&] {
                    TMemorySource source(file, most, random());
                    TMemorySink sink;
                    const TTextChanges changes =
                        StampText(source, {{cachedAnsi, cachedUtf8}, {aheadAnsi, aheadUtf8}}, stamp, sink, 16, kernels);
                    return sink.Bytes() + Described(changes);
                });
                ASSERT_EQ(expected, actual) << "kernels " << static_cast<int>(level) << ", code page "
                                            << (codePage == CP_ACP ? GetACP() : codePage) << ", case " << i
                                            << ", reads of up to " << most << "\ninput: " << Hex(file);
            }
        }
    }
}

// UTF-8 as the ANSI code page at the real sizes (pieces of 1 MiB, blocks of 64 KiB): characters of
// every length, and bytes that are not well-formed, across a block end and the piece end, with and
// without a byte order mark, come out as the whole-file model gives them.
TEST(Win32CodePage, Utf8AsAnsiCodePageAcrossBlockAndPieceEnds) {
    TWin32CodePage ansi(CP_UTF8, 0, u"invalid");
    TWin32CodePage utf8(CP_UTF8, MB_ERR_INVALID_CHARS, u"bad UTF-8");
    constexpr std::size_t kBlock = 64 * 1024, kPiece = kPieceBytes;
    const std::string characters[] = {"\xC3\xA9", "\xE3\x81\x82", "\xF0\x9F\x98\x80",             // two, three, four bytes
                                      "\xE3\x81" "A", "\x80\x80\x80", "\xED\xA0\x80",               // cut short, stray, surrogate
                                      "\xF0\x80\x80\x80", "\xC0\xAF", "\xF4\x90\x80\x80", "\xFF\xFE"};  // overlong, too high, never
    for (const std::string& mark : {std::string(), std::string("\xEF\xBB\xBF")}) {
        for (const std::size_t offset : {kBlock, kBlock + 1, kPiece, kPiece + 2 * kBlock}) {
            for (const std::string& character : characters) {
                const std::string file = AcrossOffset(mark, offset, character + character);
                TCachedCodePage cachedAnsi(ansi), cachedUtf8(utf8), aheadAnsi(ansi), aheadUtf8(utf8);
                const std::string expected = Outcome([&] { return ModelStamp(file, ansi, utf8, u",S"); });
                const std::string actual = Outcome([&] {
                    TMemorySource source(file, SIZE_MAX, 1);  // every read fills the piece
                    TMemorySink sink;
                    StampText(source, {{cachedAnsi, cachedUtf8}, {aheadAnsi, aheadUtf8}}, u",S", sink);
                    return sink.Bytes();
                });
                ASSERT_TRUE(expected == actual) << Hex(mark) << "at " << offset << ": " << Hex(character) << " gives "
                                                << actual.substr(0, 60);
            }
        }
    }
}

// Every unit of the Basic Multilingual Plane alone, and strings of them with surrogates among
// them, encode as the platform encodes them.
TEST(CachedCodePage, EncodesEveryUnitAsThePlatform) {
    TWin32CodePage platform(CP_ACP, 0, u"");
    TCachedCodePage cached(platform);
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        const char16_t one = static_cast<char16_t>(unit);
        ASSERT_EQ(Encoded(platform, {&one, 1}), Encoded(cached, {&one, 1})) << "code page " << GetACP() << ", U+" << std::hex << unit;
    }
    std::mt19937 random(GetACP() + 1);
    for (int i = 0; i < 3000; ++i) {
        std::u16string text;
        for (int k = static_cast<int>(random() % 40); k > 0; --k) {
            switch (random() % 6) {
            case 0: text += static_cast<char16_t>(random() % 0x80); break;
            case 1: text += static_cast<char16_t>(0xD800 + random() % 0x800); break;   // a surrogate
            case 2: text += {static_cast<char16_t>(0xD800 + random() % 0x400), static_cast<char16_t>(0xDC00 + random() % 0x400)}; break;
            default: text += static_cast<char16_t>(random()); break;
            }
        }
        ASSERT_EQ(Encoded(platform, text), Encoded(cached, text)) << "code page " << GetACP() << ", case " << i;
    }
}

// The platform's own answer whether the ANSI code page replaces a character: written by
// WideCharToMultiByte and read back by MultiByteToWideChar, it is not itself. The JIS characters
// that code page 932 writes under their other names (wave dash, double vertical line, minus sign,
// em dash, cent, pound and not sign) are not replaced.
bool PlatformReplaces(std::u16string_view character) {
    constexpr std::u16string_view kJisNames = u"\x301C\x2016\x2212\x2014\x00A2\x00A3\x00AC";
    if (GetACP() == 932 && character.size() == 1 && kJisNames.find(character[0]) != std::u16string_view::npos) return false;
    char bytes[16];
    const int count = WideCharToMultiByte(CP_ACP, 0, Wide(character.data()), static_cast<int>(character.size()), bytes,
                                          sizeof bytes, nullptr, nullptr);
    wchar_t back[16];
    const int units = MultiByteToWideChar(CP_ACP, 0, bytes, count, back, 16);
    return U16(back, static_cast<std::size_t>(units)) != character;
}

// Whether a character is replaced, from the cached tables (alone and counted while encoding), as
// the platform answers: every unit of the Basic Multilingual Plane, and surrogates paired, alone
// and in the wrong order, among other text.
TEST(CachedCodePage, ReplacesAsThePlatform) {
    TWin32CodePage platform(CP_ACP, 0, u"");
    TCachedCodePage cached(platform);
    int replaced = 0;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        const char16_t one = static_cast<char16_t>(unit);
        const bool expected = PlatformReplaces({&one, 1});
        ASSERT_EQ(expected, cached.Replaces({&one, 1})) << "code page " << GetACP() << ", U+" << std::hex << unit;
        TReplacements counted;
        std::string out(4, '\0');
        cached.Encode({&one, 1}, out.data(), counted);
        ASSERT_EQ(expected ? 1u : 0u, counted.count) << "code page " << GetACP() << ", U+" << std::hex << unit;
        replaced += expected;
    }
    EXPECT_GT(replaced, 1000) << "code page " << GetACP() << " holds only part of the plane";
    const std::u16string texts[] = {
        u"a\xD842\xDFB7" u"b",      // a pair: one character
        u"\xD83D\xDE00\xD83D\xDE00", // two pairs
        u"x\xD800y",                 // a lone high surrogate
        u"x\xDC00y",                 // a lone low surrogate
        u"\xDC00\xD800",             // the wrong order: two lone ones
        u"\xD800\xD800\xDC00",       // a lone high one, then a pair
        u"\x3042\xD842\xDFB7\x00E9\x20AC",
    };
    for (const std::u16string& text : texts) {
        TReplacements expected;
        ForEachCharacter(text, [&](std::u16string_view character) {
            if (PlatformReplaces(character)) AddReplaced(expected, character);
            return true;
        });
        TReplacements actual;
        std::string out(text.size() * cached.MaxBytesPerUnit(), '\0');
        out.resize(cached.Encode(text, out.data(), actual));
        EXPECT_EQ(expected.count, actual.count) << "code page " << GetACP() << ": " << Narrow(text);
        EXPECT_TRUE(expected.first == actual.first) << "code page " << GetACP() << ": " << Narrow(text);
        EXPECT_EQ(Encoded(platform, text), out);
    }
}

// Code page 932 writes the four JIS characters that other systems write under other names as
// their JIS bytes, where the platform has no mapping of its own (where it has one, it decides);
// U+00A2, U+00A3 and U+00AC come out by the platform's best fit.
TEST(Win32CodePage, WritesJisCharactersUnderTheirOtherNames) {
    if (GetACP() != 932) GTEST_SKIP() << "a rule of code page 932";
    TWin32CodePage platform(CP_ACP, 0, u"");
    TCachedCodePage cached(platform);
    const struct {
        char16_t unit;
        const char* bytes;
    } cases[] = {
        {u'\x301C', "\x81\x60"}, {u'\x2016', "\x81\x61"}, {u'\x2212', "\x81\x7C"}, {u'\x2014', "\x81\x5C"},
        {u'\x00A2', "\x81\x91"}, {u'\x00A3', "\x81\x92"}, {u'\x00AC', "\x81\xCA"},
    };
    for (const auto& c : cases) {
        char own[8];
        BOOL usedDefault = FALSE;
        const int count = WideCharToMultiByte(CP_ACP, 0, Wide(&c.unit), 1, own, sizeof own, nullptr, &usedDefault);
        const std::string expected = usedDefault ? std::string(c.bytes) : std::string(own, static_cast<std::size_t>(count));
        EXPECT_EQ(Hex(expected), Hex(Encoded(platform, {&c.unit, 1}))) << std::hex << static_cast<unsigned>(c.unit);
        EXPECT_EQ(Hex(expected), Hex(Encoded(cached, u"10:00" + std::u16string(1, c.unit) + u"18:00").substr(5, 2)));
        EXPECT_FALSE(cached.Replaces({&c.unit, 1})) << std::hex << static_cast<unsigned>(c.unit);
    }
    EXPECT_EQ("1\x81\x7C" "2\x81\x7C" "3", Encoded(platform, u"1\x2212" "2\x2212" "3"));
}

// UTF-8 straight into the ANSI code page, for every unit of the Basic Multilingual Plane alone
// and among other text: where the cached code page answers, it gives the bytes of decoding and
// encoding through the platform; it declines only a unit that the code page replaces.
TEST(CachedCodePage, EncodesUtf8AsThePlatformDecodesAndEncodes) {
    TWin32CodePage ansi(CP_ACP, 0, u"");
    TWin32CodePage utf8(CP_UTF8, MB_ERR_INVALID_CHARS, u"bad UTF-8");
    TCachedCodePage cached(ansi);
    int declined = 0;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        const char16_t one = static_cast<char16_t>(unit);
        if (IsHighSurrogate(one) || IsLowSurrogate(one)) continue;
        for (const std::u16string& text : {std::u16string(1, one), u"ab," + std::u16string(1, one) + u"\r\n"}) {
            const std::string bytes = Encoded(utf8, text);
            std::string out(bytes.size(), '\0');
            const auto count = cached.EncodeUtf8(bytes, out.data());
            // It declines exactly where the unit is replaced, also as a best fit that would be a
            // record mark.
            const bool replaced = PlatformReplaces({&one, 1}) || ansi.Replaces({&one, 1});
            ASSERT_EQ(!replaced, count.has_value()) << "code page " << GetACP() << ", U+" << std::hex << unit;
            if (!count) {
                ++declined;
                continue;
            }
            ASSERT_EQ(Encoded(ansi, Decoded(utf8, bytes)), out.substr(0, *count)) << "code page " << GetACP() << ", U+" << std::hex << unit;
        }
    }
    EXPECT_GT(declined, 0) << "code page " << GetACP() << " holds only part of the plane";
}

// No substitute changes a record: every unit of the Basic Multilingual Plane that the platform
// writes with the byte of a double quote, comma, CR, LF or NUL, though it is none of them (a best
// fit), is written as the code page's default character and counted as replaced, by the code page
// and by the cached one; every other unit as the platform writes it (the JIS characters under
// their other names aside). In the system's ANSI code page and in UTF-8 as the ANSI code page.
// Those that Wine's tables fit to such a byte are among them: code page 1252 writes U+02BA,
// U+030E and U+FF02 as a double quote and U+FF0C as a comma, and 1251 the last two; 932, 936, 949
// and UTF-8 have none.
TEST(Win32CodePage, WritesNoSubstituteAsARecordMark) {
    for (const UINT codePage : {UINT{CP_ACP}, UINT{CP_UTF8}}) {
        TWin32CodePage platform(codePage, 0, u"");
        TCachedCodePage cached(platform);
        CPINFOEXW info;
        ASSERT_TRUE(GetCPInfoExW(codePage, 0, &info));
        const std::string defaultCharacter(reinterpret_cast<const char*>(info.DefaultChar), info.DefaultChar[1] != 0 ? 2 : 1);
        std::u16string fitted;
        for (unsigned unit = 1; unit <= 0xFFFF; ++unit) {
            const char16_t one = static_cast<char16_t>(unit);
            if (IsHighSurrogate(one) || IsLowSurrogate(one)) continue;
            char bytes[8];
            const int count = WideCharToMultiByte(codePage, 0, Wide(&one), 1, bytes, sizeof bytes, nullptr, nullptr);
            const std::string own(bytes, static_cast<std::size_t>(count));
            const bool markByte = own.find_first_of(std::string(",\"\r\n\0", 5)) != std::string::npos;
            if (IsRecordMark(one)) {
                ASSERT_EQ(std::string(1, static_cast<char>(one)), own) << "U+" << std::hex << unit;
                continue;
            }
            const std::string written = Encoded(platform, {&one, 1});
            ASSERT_EQ(written, Encoded(cached, {&one, 1})) << "U+" << std::hex << unit;
            if (!markByte) {
                const auto names = JisNames(info.CodePage);
                const bool jisName = std::any_of(names.begin(), names.end(), [&](const TJisName& name) { return name.unit == one; });
                if (!jisName) ASSERT_EQ(Hex(own), Hex(written)) << "U+" << std::hex << unit;
                continue;
            }
            fitted += one;
            EXPECT_EQ(Hex(defaultCharacter), Hex(written)) << "code page " << info.CodePage << ", U+" << std::hex << unit;
            EXPECT_TRUE(platform.Replaces({&one, 1})) << "U+" << std::hex << unit;
            TReplacements replaced;
            std::string out(8, '\0');
            out.resize(cached.Encode(u"1" + std::u16string(1, one) + u"2", out.data(), replaced));
            EXPECT_EQ("1" + defaultCharacter + "2", out) << "U+" << std::hex << unit;
            EXPECT_EQ(1u, replaced.count) << "U+" << std::hex << unit;
        }
        const std::u16string known = info.CodePage == 1252 ? u"\x02BA\x030E\xFF02\xFF0C"
                                   : info.CodePage == 1251 ? u"\xFF02\xFF0C" : u"";
        for (const char16_t unit : known) {
            EXPECT_NE(std::u16string::npos, fitted.find(unit)) << "code page " << info.CodePage << ", U+" << std::hex << static_cast<unsigned>(unit);
        }
        std::printf("code page %u fits to a record mark:", info.CodePage);
        for (const char16_t unit : fitted) std::printf(" U+%04X", static_cast<unsigned>(unit));
        std::printf("%s\n", fitted.empty() ? " none" : "");
    }
}

// The UTF-16 units decoded, as bytes, or the failure.
std::string Units(TCodePage& codePage, std::string_view bytes) {
    return Outcome([&] {
        const std::u16string units = Decoded(codePage, bytes);
        return std::string(reinterpret_cast<const char*>(units.data()), 2 * units.size());
    });
}

// UTF-8 sequences of every length, well-formed and not, also cut short, alone, after other text
// and before it: decoded as the platform's strict conversion decodes them, or refused where it
// refuses. UTF-8 is the same in every locale: checked in one.
TEST(CachedCodePage, DecodesUtf8AsThePlatform) {
    if (GetACP() != 932) GTEST_SKIP() << "checked under code page 932";
    TWin32CodePage platform(CP_UTF8, MB_ERR_INVALID_CHARS, u"bad UTF-8");
    TCachedCodePage cached(platform);
    auto check = [&](const std::string& bytes) {
        for (const std::string& text : {bytes, "ab," + bytes, bytes + "\xE3\x81\x82"}) {
            ASSERT_EQ(Units(platform, text), Units(cached, text)) << Hex(text);
        }
    };
    const unsigned char thirds[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0};
    const unsigned char fourths[] = {0x7F, 0x80, 0xBF, 0xC0};
    for (unsigned first = 0; first < 256; ++first) {
        const char lead = static_cast<char>(first);
        check(std::string(1, lead));
        for (unsigned second = 0; second < 256; ++second) {
            const std::string two = {lead, static_cast<char>(second)};
            check(two);
            if (first < 0xE0) continue;
            for (unsigned char third : thirds) {
                check(two + static_cast<char>(third));
                if (first < 0xF0) continue;
                for (unsigned char fourth : fourths) check(two + static_cast<char>(third) + static_cast<char>(fourth));
            }
        }
    }
}

TEST(Win32CodePage, KnowsUtf8AndItsWidth) {
    TWin32CodePage ansi(CP_ACP, 0, u""), utf8(CP_UTF8, 0, u"");
    CPINFO info;
    ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
    EXPECT_FALSE(ansi.IsUtf8());
    EXPECT_EQ(info.MaxCharSize, ansi.MaxBytesPerUnit());
    EXPECT_TRUE(utf8.IsUtf8());
}

TEST(Win32CodePage, StrictUtf8RefusesMalformedBytes) {
    TWin32CodePage utf8(CP_UTF8, MB_ERR_INVALID_CHARS, u"bad");
    char16_t out[8];
    EXPECT_EQ(1u, utf8.Decode("\xE3\x81\x82", out));
    EXPECT_EQ(u'\x3042', out[0]);
    EXPECT_THROW(utf8.Decode("a\xFF", out), TFailure);
}

}  // namespace
}  // namespace zarn::testing
