// Reading text files in pieces and writing text in pieces.
#include <gtest/gtest.h>

#include "stamp/record_stamper.h"
#include "tests/support/conversions.h"
#include "tests/support/fake_code_pages.h"
#include "tests/support/memory_io.h"
#include "tests/support/outcome.h"
#include "tests/support/printing.h"
#include "tests/support/stamping_model.h"
#include "textfile/cached_code_page.h"
#include "win/failure.h"

namespace zarn::testing {
namespace {

using namespace std::string_literals;

// Collects what the reader hands on, as UTF-16 (bytes decoded in the ANSI code page), and where
// the first replaced character begins in it.
class TCollector final : public TTextSink {
public:
    explicit TCollector(TCodePage& ansi) : ansi_(ansi) {}
    void Bytes(std::string_view bytes) override {
        std::u16string text(bytes.size(), u'\0');
        text.resize(bytes.empty() ? 0 : ansi_.Decode(bytes, text.data()));
        collected += text;
    }
    void FirstReplacedNext() override { firstReplacedAt = collected.size(); }
    void End() override { ended = true; }
    TCodePage& ansi_;
    std::u16string collected;
    std::size_t firstReplacedAt = SIZE_MAX;
    bool ended = false;
};

TEST(ReadText, DecodesByMark) {
    struct TCase {
        std::string bytes;
        std::u16string text;
        bool lastByteLeftOut = false;
    } cases[] = {
        {"a\xE9", u"a\xE9"},                                   // ANSI (Latin-1)
        {"\xFF\xFE" "a\0\r\0\n\0b\0"s, u"a\r\nb"},              // UTF-16LE
        {"\xFE\xFF\0a\x30\x42"s, u"a?"},                         // UTF-16BE, in Latin-1
        {"\xFF\xFE" "a\0b"s, u"a", true},                       // odd last byte left out, and told
        {"\xFE\xFF" "\0a\0"s, u"a", true},
        {"\xFF\xFE" "A"s, u"", true},                            // the only byte after the mark
        {"a\0b"s, u"a\0b"s},                                     // an odd count of ANSI bytes is whole
        {"\xEF\xBB\xBF" "\xE3\x81\x82", u"?"},                 // UTF-8
        {"\xEF\xBB\xBF", u""},                                 // mark alone
        {"\xEF\xBB\xBF" "a\xE3\x81", u"\xFFFF"},               // UTF-8 cut short: failure
        {std::string("\xEF\xBB\xBF" "a\0\xFF", 6), u"\xFFFF"}, // malformed after a zero still fails
        {std::string("a\0\xFF", 3), u"a\0\xFF"s},                // a zero byte is a character
        {"\xFF\xFE" "a\0\0\0b\0"s, u"a\0b"s},                   // so is a zero unit of UTF-16
        {"\xEF\xBB\xBF" "a\0\xE3\x81\x82"s, u"a\0?"s},          // and of UTF-8
    };
    TLatin1CodePage ansi;
    TUtf8CodePage utf8(true);
    TPlainAnsiEncoder plain(ansi);  // the plain code pages alone: everything encoded by the code page
    for (const TCase& c : cases) {
        for (std::size_t most : {std::size_t{1}, std::size_t{2}, std::size_t{100}}) {
            TMemorySource source(c.bytes, most, 3);
            TCollector collector(ansi);
            try {
                const TTextChanges changes = ReadText(source, {{plain, utf8}, {plain, utf8}}, collector, 8);
                EXPECT_EQ(c.text, collector.collected) << ::testing::PrintToString(c.bytes);
                EXPECT_EQ(c.lastByteLeftOut, changes.lastByteLeftOut) << ::testing::PrintToString(c.bytes);
            } catch (const TFailure& failure) {
                EXPECT_EQ(u"\xFFFF", c.text) << "unexpected failure for " << ::testing::PrintToString(c.bytes);
                EXPECT_EQ(u"bad UTF-8", failure.Text());
            }
        }
    }
}

TEST(ReadText, ReadFailurePartWayIsRaised) {
    TLatin1CodePage ansi;
    TUtf8CodePage utf8(true);
    TPlainAnsiEncoder plain(ansi);  // the plain code pages alone: everything encoded by the code page
    // The failure comes after a zero byte, which is a character like any other.
    TMemorySource source(std::string("a\nb\0cdef", 8), 2, 5, 5);
    TCollector collector(ansi);
    try {
        ReadText(source, {{plain, utf8}, {plain, utf8}}, collector, 8);
        FAIL() << "no failure";
    } catch (const TFailure& failure) {
        EXPECT_EQ(u"read failed", failure.Text());
    }
}

// At the real sizes (files read in pieces of 1 MiB, bytes looked at in blocks of 64 KiB), a
// character across a block end or a piece end is cut out whole and comes through unchanged, and
// a run of double-byte characters with no byte below 0x40 across a piece end is carried over
// whole: the pipeline agrees with the whole-file model.
TEST(StampText, CharactersAcrossBlockAndPieceEndsAtTheRealSizes) {
    const auto across = AcrossOffset;
    constexpr std::size_t kBlock = 64 * 1024, kPiece = kPieceBytes;
    const std::string utf8Bom = "\xEF\xBB\xBF", hiragana = "\xE3\x81\x82", pair = "\x82\xA0";
    std::string longRun;  // 300 bytes of pairs: no byte below 0x40 to cut after
    while (longRun.size() < 300) longRun += pair;
    TDoubleByteCodePage doubleByte;
    TLatin1CodePage latin1;
    TUtf8CodePage utf8(true);
    struct TCase {
        const char* what;
        std::string file;
        TCodePage* ansi;
    } cases[] = {
        // Blocks are counted from the first byte after the mark.
        {"UTF-8 character across a block end", across(utf8Bom, 3 + kBlock, hiragana), &latin1},
        {"UTF-8 character across the piece end", across(utf8Bom, kPiece, hiragana), &latin1},
        {"UTF-8 character across the second block end", across(utf8Bom, 3 + 2 * kBlock, hiragana + hiragana), &latin1},
        {"double-byte character across a block end", across("", kBlock, pair), &doubleByte},
        {"double-byte character across the piece end", across("", kPiece, pair), &doubleByte},
        // The last 280 bytes of the piece or block have no byte below 0x40: more than is carried.
        {"300 bytes without a cut point across the piece end", across("", kPiece - 279, longRun), &doubleByte},
        {"300 bytes without a cut point across a block end", across("", kBlock - 279, longRun), &doubleByte},
    };
    for (const TCase& c : cases) {
        TCachedCodePage cachedAnsi(*c.ansi), cachedUtf8(utf8), aheadAnsi(*c.ansi), aheadUtf8(utf8);
        const std::string expected = Outcome([&] { return ModelStamp(c.file, *c.ansi, utf8, u",S"); });
        ASSERT_EQ(std::string::npos, expected.find("failure")) << c.what;
        const std::string actual = Outcome([&] {
            TMemorySource source(c.file, SIZE_MAX, 1);  // every read fills the piece
            TMemorySink sink;
            StampText(source, {{cachedAnsi, cachedUtf8}, {aheadAnsi, aheadUtf8}}, u",S", sink);
            return sink.Bytes();
        });
        EXPECT_TRUE(expected == actual) << c.what << ": " << actual.substr(0, 40);  // megabytes: the start only
    }
}

// UTF-16 is cut between pieces so that a surrogate pair is encoded whole, whatever the reads and
// pieces; a lone surrogate is replaced, and counted as one character; the sink is told where the
// first replaced character begins.
TEST(ReadText, KeepsSurrogatePairsWholeAcrossPieces) {
    TUtf8CodePage utf8(false);  // as the ANSI code page: a pair is one 4-byte sequence, a lone surrogate U+FFFD
    TUtf8CodePage strict(true);
    TPlainAnsiEncoder ansi(utf8);
    struct TCase {
        std::u16string units;
        std::string bytes;
        std::uint64_t replaced;
        std::u16string first;
        std::size_t firstAt;  // in units of the collected text
    } cases[] = {
        {u"abc\xD83D\xDE00" "d", "abc\xF0\x9F\x98\x80" "d", 0, u"", SIZE_MAX},  // a pair after 3 units
        {u"abcdefg\xD83D\xDE00", "abcdefg\xF0\x9F\x98\x80", 0, u"", SIZE_MAX},   // at the end of a piece of 8 units
        {u"ab\xD83D" "c", "ab\xEF\xBF\xBD" "c", 1, u"\xD83D", 2},                 // a high surrogate, then no low one
        {u"abcdef\xD83D", "abcdef\xEF\xBF\xBD", 1, u"\xD83D", 6},                  // alone at the very end
        {u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80", 1, u"\xD83D", 0},
        {u"x\xDE00\xDE01", "x\xEF\xBF\xBD\xEF\xBF\xBD", 2, u"\xDE00", 1},      // lone low surrogates
    };
    for (const TCase& c : cases) {
        const std::string file = "\xFF\xFE" + std::string(reinterpret_cast<const char*>(c.units.data()), 2 * c.units.size());
        for (std::size_t most : {std::size_t{1}, std::size_t{3}, std::size_t{100}}) {
            for (std::size_t piece : {std::size_t{8}, std::size_t{9}, std::size_t{16}}) {
                TMemorySource source(file, most, 5);
                TCollector collector(utf8);
                const TTextChanges changes = ReadText(source, {{ansi, strict}, {ansi, strict}}, collector, piece);
                EXPECT_EQ(Encoded(utf8, Decoded(utf8, c.bytes)), Encoded(utf8, collector.collected)) << Hex(c.bytes) << most << " " << piece;
                EXPECT_EQ(c.replaced, changes.replaced.count) << Hex(c.bytes);
                EXPECT_TRUE(c.first == changes.replaced.first) << Hex(c.bytes);
                EXPECT_EQ(c.firstAt, collector.firstReplacedAt) << Hex(c.bytes) << most << " " << piece;
            }
        }
    }
}

}  // namespace
}  // namespace zarn::testing
