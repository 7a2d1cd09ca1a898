// Every variant of the hot loops that this processor runs, against the plain one, over the same
// inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "tests/support/printing.h"
#include "textfile/kernels.h"

namespace zarn::testing {
namespace {

// The line-end and quote scan on units: text rich in quotes, CR and LF (and characters around
// them: NUL, the quote's neighbours, and units that share a byte with them), from every start,
// with parity carried in either way.
TEST(Kernels, EveryVariantScansAsThePlainOne) {
    const TKernels& plain = KernelsOf(TKernelLevel::Plain);
    std::mt19937 random(11);
    const char16_t units[] = {u'a', u'"', u'\r', u'\n', 0, u'!', u'#', u'\x0D0A', u'\x220D', u'\xFF22', u'\x3042', u','};
    for (int i = 0; i < 3000; ++i) {
        std::u16string text;
        const int length = static_cast<int>(random() % 150);
        const unsigned spread = random() % 3;  // sparse or dense line ends
        for (int k = 0; k < length; ++k) {
            text += spread == 0 && random() % 8 != 0 ? u'x' : units[random() % std::size(units)];
        }
        const std::size_t pos = length == 0 ? 0 : random() % static_cast<unsigned>(length);
        for (const TKernelLevel level : KernelLevels()) {
            const TKernels& kernels = KernelsOf(level);
            for (const bool oddIn : {false, true}) {
                bool expectedOdd = oddIn, actualOdd = oddIn;
                ASSERT_EQ(plain.scanUnits(text.data(), pos, text.size(), expectedOdd),
                          kernels.scanUnits(text.data(), pos, text.size(), actualOdd)) << static_cast<int>(level) << " case " << i;
                ASSERT_EQ(expectedOdd, actualOdd) << static_cast<int>(level) << " case " << i;
            }
        }
    }
}

// Lines of bytes copied out: lines of every length from none to past several blocks, ended by
// CR LF, lone CR or lone LF (also CR and LF split over a block's end), with quotes, NUL and high
// bytes among them; with room for everything, for part of it, and for nothing; with every state
// carried in; and record-end texts short, as long as the vectors store, and longer. The plain
// variant's result is checked against the line rules by the stamping tests.
TEST(Kernels, EveryVariantCopiesLinesAsThePlainOne) {
    const TKernels& plain = KernelsOf(TKernelLevel::Plain);
    std::mt19937 random(14);
    const std::string recordEnds[] = {"\r\n", ",2026/12/10\r\n", std::string(62, 'S') + "\r\n", std::string(63, 'S') + "\r\n"};
    const char* const lineEnds[] = {"\r\n", "\r", "\n", "\n\r"};
    for (int i = 0; i < 4000; ++i) {
        std::string bytes;
        const std::size_t size = random() % 700;
        const unsigned longest = 1 + random() % (random() % 4 == 0 ? 200 : 60);
        while (bytes.size() < size) {
            const std::size_t length = random() % longest;
            for (std::size_t k = 0; k < length; ++k) {
                const unsigned kind = random() % 16;
                bytes += kind == 0 ? '"' : kind == 1 ? '\0' : kind == 2 ? static_cast<char>(0x80 + random() % 0x80) : static_cast<char>('#' + random() % 90);
            }
            bytes += lineEnds[random() % std::size(lineEnds)];
        }
        bytes.resize(size);
        const std::size_t room = random() % 3 == 0 ? random() % (2 * size + 1) : 64 * size + 64;
        const std::string& recordEnd = recordEnds[random() % std::size(recordEnds)];
        const TLineState stateIn{random() % 2 == 0, random() % 2 == 0, random() % 2 == 0};
        std::string expected(room, '\0');
        TLineState expectedState = stateIn;
        std::size_t expectedWritten = 0;
        const std::size_t expectedTaken =
            plain.copyLines(bytes.data(), bytes.size(), expected.data(), room, recordEnd, expectedState, expectedWritten);
        ASSERT_LE(expectedWritten, room);
        for (const TKernelLevel level : KernelLevels()) {
            std::string out(room, '\0');
            TLineState state = stateIn;
            std::size_t written = 0;
            const std::size_t taken = KernelsOf(level).copyLines(bytes.data(), bytes.size(), out.data(), room, recordEnd, state, written);
            const std::string where = "level " + std::to_string(static_cast<int>(level)) + ", case " + std::to_string(i) + ", room " +
                                      std::to_string(room) + ": " + Hex(bytes);
            ASSERT_EQ(expectedTaken, taken) << where;
            ASSERT_EQ(expectedWritten, written) << where;
            ASSERT_EQ(expected.substr(0, written), out.substr(0, written)) << where;
            ASSERT_EQ(expectedState.odd, state.odd) << where;
            ASSERT_EQ(expectedState.inLine, state.inLine) << where;
            ASSERT_EQ(expectedState.skipLf, state.skipLf) << where;
        }
    }
}

// The run of ASCII at the start of bytes: runs of every length up to past two vectors, ending in
// each high byte value's kind, and at the end of the bytes.
TEST(Kernels, EveryVariantFindsAsciiRunsAsThePlainOne) {
    const TKernels& plain = KernelsOf(TKernelLevel::Plain);
    std::mt19937 random(13);
    for (std::size_t run = 0; run < 80; ++run) {
        for (const unsigned char after : {0x80, 0xE3, 0xFF}) {
            std::string bytes(run, 'a');
            for (char& byte : bytes) byte = static_cast<char>(random() % 0x80);
            bytes += static_cast<char>(after);
            bytes += std::string(random() % 40, 'b');
            for (const std::size_t count : {run, run + 1, bytes.size()}) {
                const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
                for (const TKernelLevel level : KernelLevels()) {
                    ASSERT_EQ(plain.asciiRun(data, count), KernelsOf(level).asciiRun(data, count))
                        << static_cast<int>(level) << " run " << run << " of " << count;
                }
                ASSERT_EQ(std::min(run, count), plain.asciiRun(data, count));
            }
        }
    }
}

// The trails of 64 bytes of double-byte text from its lead bytes, against their definition taken
// byte by byte: every pattern of 16 lead bytes at the start and at the end of the 64, and random
// ones, with and without a trail carried in.
TEST(Trails, FollowTheLeadBytesThatBeginACharacter) {
    auto reference = [](std::uint64_t leads, std::uint64_t& carry) {
        std::uint64_t trails = carry;
        std::uint64_t out = 0;
        for (unsigned i = carry ? 1 : 0; i < 64; ++i) {
            if ((leads >> i & 1) == 0) continue;
            if (i == 63) out = 1;
            else trails |= std::uint64_t{1} << (i + 1);
            ++i;  // the trail begins nothing
        }
        carry = out;
        return trails;
    };
    auto check = [&](std::uint64_t leads) {
        for (std::uint64_t carryIn : {0u, 1u}) {
            std::uint64_t expectedCarry = carryIn, actualCarry = carryIn;
            const std::uint64_t expected = reference(leads, expectedCarry);
            ASSERT_EQ(expected, Trails(leads, actualCarry)) << std::hex << leads << " carry " << carryIn;
            ASSERT_EQ(expectedCarry, actualCarry) << std::hex << leads << " carry " << carryIn;
        }
    };
    for (std::uint64_t pattern = 0; pattern < 0x10000; ++pattern) {
        check(pattern);
        check(pattern << 48);
        check(pattern << 24 | 0x8000000000000000ull);
    }
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) check(random() & random());
    check(~std::uint64_t{0});
}

// The double-byte check, with sets shaped as double-byte code pages: lead bytes of which the plain
// ones share a set of trails and the others have rows of their own (one with no pair that comes
// back), and single bytes of which some come back, or none; with sets of one range to eight. The
// text is dense in what the check tells apart: ASCII, plain and other pairs with trails that come
// back or not, lone lead bytes, single bytes, and pairs across the ends of the 64 bytes and of
// the text; with and without a trail carried in. Bytes checked and the carry out must be the plain
// variant's, and the plain variant's must be the definition's, taken character by character.
TEST(Kernels, EveryVariantChecksDoubleBytesAsThePlainOne) {
    struct TShape {
        bool (*lead)(unsigned);
        bool (*plainLead)(unsigned);
        bool (*plainTrail)(unsigned);
        bool (*single)(unsigned);
        bool (*otherPair)(unsigned lead, unsigned trail);  // of a lead byte that is not plain
    };
    const TShape shapes[] = {
        // As Japanese: two ranges of lead bytes, a few with rows of their own; halfwidth singles.
        {[](unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); },
         [](unsigned b) { return b != 0x81 && b != 0x82 && b != 0x85 && b != 0xFC; },
         [](unsigned b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); },
         [](unsigned b) { return b >= 0xA1 && b <= 0xDF; },
         [](unsigned lead, unsigned trail) {
             return lead == 0x81 ? trail >= 0x40 && trail % 5 != 0 : lead == 0x82 ? trail >= 0x9F && trail <= 0xF1
                  : lead == 0xFC ? trail >= 0x40 && trail <= 0x4B : false;  // 0x85: none
         }},
        // Four ranges of lead bytes, six of trails that reach below 0x80, no single byte.
        {[](unsigned b) { return (b >= 0x81 && b <= 0x84) || (b >= 0x90 && b <= 0x9F) || (b >= 0xB0 && b <= 0xBF) || b >= 0xF0; },
         [](unsigned b) { return b != 0x90 && b != 0xFF; },
         [](unsigned b) { return b >= 0x40 && b % 32 < 12; },
         [](unsigned) { return false; },
         [](unsigned lead, unsigned trail) { return lead == 0x90 && trail >= 0xA1; }},
    };
    const TKernels& plain = KernelsOf(TKernelLevel::Plain);
    std::mt19937 random(15);
    for (const TShape& shape : shapes) {
        std::vector<std::uint64_t> pairs(65536 / 64);
        std::vector<unsigned char> plainLeads, plainTrails, others;
        for (unsigned byte = 0x80; byte < 256; ++byte) {
            (shape.lead(byte) ? shape.plainLead(byte) ? plainLeads : others : others).push_back(static_cast<unsigned char>(byte));
        }
        for (unsigned lead = 0x80; lead < 256; ++lead) {
            for (unsigned trail = 0; trail < 256; ++trail) {
                if (lead == 0x80) {
                    if (shape.plainTrail(trail)) plainTrails.push_back(static_cast<unsigned char>(trail));
                    continue;
                }
                const bool comesBack = shape.plainLead(lead) ? shape.plainTrail(trail) : shape.otherPair(lead, trail);
                const unsigned pair = lead << 8 | trail;
                if (shape.lead(lead) && comesBack) pairs[pair >> 6] |= std::uint64_t{1} << (pair & 63);
            }
        }
        TDoubleByteSets sets;
        sets.leads = RangesOf(shape.lead);
        sets.singles = RangesOf(shape.single);
        sets.plainLeads = RangesOf([&](unsigned byte) { return shape.lead(byte) && shape.plainLead(byte); });
        sets.plainTrails = RangesOf(shape.plainTrail);
        ASSERT_NE(0u, sets.leads.count);
        ASSERT_NE(0u, sets.plainLeads.count);
        ASSERT_NE(0u, sets.plainTrails.count);
        sets.pairs = pairs.data();
        // Bytes checked, and the carry, as the definition gives them.
        auto reference = [&](const std::string& text, std::uint64_t& carry) {
            const auto* p = reinterpret_cast<const unsigned char*>(text.data());
            std::size_t at = 0;
            for (; at + 64 < text.size(); at += 64) {
                bool bad = false;
                std::size_t i = at + carry;
                for (; i < at + 64; ++i) {
                    const unsigned byte = p[i];
                    if (shape.lead(byte)) {
                        const unsigned pair = byte << 8 | p[i + 1];
                        bad |= (pairs[pair >> 6] >> (pair & 63) & 1) == 0;
                        ++i;
                    } else {
                        bad |= byte >= 0x80 && !shape.single(byte);
                    }
                }
                if (bad) break;
                carry = i - (at + 64);
            }
            return at;
        };
        auto any = [&](const std::vector<unsigned char>& bytes) { return static_cast<char>(bytes[random() % bytes.size()]); };
        for (int i = 0; i < 10000; ++i) {
            std::string text;
            const std::size_t size = random() % 400;
            const unsigned asciiShare = random() % 4;  // from none to most of the bytes
            while (text.size() < size) {
                const unsigned kind = random() % 8;
                if (random() % 4 < asciiShare) {
                    text += static_cast<char>('#' + random() % 90);
                } else if (kind < 3) {  // a plain pair that comes back
                    text += any(plainLeads);
                    text += any(plainTrails);
                } else if (kind < 5) {  // any other byte of 0x80 and above: a lead or a single byte
                    text += any(others);
                } else if (kind < 7) {  // a plain lead byte, then any
                    text += any(plainLeads);
                } else {
                    text += static_cast<char>(random());
                }
            }
            const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
            for (const std::uint64_t carryIn : {0u, 1u}) {
                std::uint64_t expectedCarry = carryIn;
                const std::size_t expected = plain.checkDoubleBytes(bytes, text.size(), sets, expectedCarry);
                std::uint64_t definedCarry = carryIn;
                ASSERT_EQ(reference(text, definedCarry), expected) << "case " << i;
                ASSERT_EQ(definedCarry, expectedCarry) << "case " << i;
                for (const TKernelLevel level : KernelLevels()) {
                    std::uint64_t carry = carryIn;
                    ASSERT_EQ(expected, KernelsOf(level).checkDoubleBytes(bytes, text.size(), sets, carry))
                        << static_cast<int>(level) << " case " << i << " carry " << carryIn;
                    ASSERT_EQ(expectedCarry, carry) << static_cast<int>(level) << " case " << i << " carry " << carryIn;
                }
            }
        }
    }
}

// UTF-8 into the ANSI code page by a table: text of ASCII and three-byte characters, among them
// characters not well-formed (overlong, surrogates, cut short, continued wrongly also past the 64
// bytes looked at), two- and four-byte characters and stray continuation bytes; units whose
// entries are ready (of one, two and three bytes), not asked yet, not of their own bytes, or the
// authority's. Bytes taken and written and the bytes written must be the plain variant's, and
// the plain variant's those of the definition, character by character.
TEST(Kernels, EveryVariantEncodesUtf8AsThePlainOne) {
    const TKernels& plain = KernelsOf(TKernelLevel::Plain);
    std::mt19937 random(16);
    std::vector<std::uint32_t> table(0x10000);
    for (std::uint32_t unit = 0; unit < 0x10000; ++unit) {  // below U+0800 too: an overlong form has an entry
        const unsigned kind = random() % 16;
        const std::uint32_t count = 1 + random() % 3;
        const std::uint32_t bytes = (0x808080 | random()) & (0xFFFFFFu >> (8 * (3 - count)));
        table[unit] = kind == 0 ? 0 : kind == 1 ? unit_bytes::kByAuthority : count << unit_bytes::kCountShift | bytes;
        if (kind == 2) table[unit] |= unit_bytes::kNotOwnBytes;
    }
    for (std::uint32_t unit = 0xD800; unit < 0xE000; ++unit) table[unit] = unit_bytes::kByAuthority;  // as every table has them
    // Ready: what the overlong forms below would give, and the characters around the forms.
    for (const std::uint32_t unit : {0x22u, 0x7FFu}) table[unit] = 1u << unit_bytes::kCountShift | 0x3F;
    for (std::uint32_t unit = 0x4E00; unit < 0x4E40; ++unit) table[unit] = 2u << unit_bytes::kCountShift | 0x8A90;
    auto three = [](std::uint32_t unit) {
        return std::string{static_cast<char>(0xE0 | unit >> 12), static_cast<char>(0x80 | (unit >> 6 & 0x3F)),
                           static_cast<char>(0x80 | (unit & 0x3F))};
    };
    // Whether the characters from at to past at + 64 may be written at once, and their bytes.
    auto reference = [&](const std::string& text, std::size_t at, std::string& out) {
        const std::size_t start = out.size();
        std::size_t p = at;
        while (p < at + 64) {
            const auto byte = static_cast<unsigned char>(text[p]);
            if (byte < 0x80) {
                out += static_cast<char>(byte);
                ++p;
                continue;
            }
            const auto second = static_cast<unsigned char>(text[p + 1]), third = static_cast<unsigned char>(text[p + 2]);
            const std::uint32_t unit = (byte & 0x0F) << 12 | (second & 0x3F) << 6 | (third & 0x3F);
            if ((byte & 0xF0) != 0xE0 || (second & 0xC0) != 0x80 || (third & 0xC0) != 0x80 || unit < 0x800 ||
                !unit_bytes::Ready(table[unit])) {
                out.resize(start);
                return at;
            }
            for (std::size_t k = 0; k < unit_bytes::Count(table[unit]); ++k) out += static_cast<char>(table[unit] >> (8 * k));
            p += 3;
        }
        return p;
    };
    auto check = [&](const std::string& text, std::size_t count, int i) {
        const auto* in = reinterpret_cast<const unsigned char*>(text.data());
        std::string defined;
        std::size_t definedTaken = 0;
        while (definedTaken + 128 <= count) {
            const std::size_t next = reference(text, definedTaken, defined);
            if (next == definedTaken) break;
            definedTaken = next;
        }
        std::string expected(count + 64, '\0');
        std::size_t expectedWritten = 0;
        const std::size_t expectedTaken = plain.encodeUtf8(in, count, expected.data(), table.data(), expectedWritten);
        ASSERT_EQ(definedTaken, expectedTaken) << "case " << i;
        ASSERT_EQ(defined, expected.substr(0, expectedWritten)) << "case " << i;
        for (const TKernelLevel level : KernelLevels()) {
            std::string out(count + 64, '\0');
            std::size_t written = 0;
            ASSERT_EQ(expectedTaken, KernelsOf(level).encodeUtf8(in, count, out.data(), table.data(), written))
                << static_cast<int>(level) << " case " << i;
            ASSERT_EQ(defined, out.substr(0, written)) << static_cast<int>(level) << " case " << i;
        }
    };
    const char* const odd[] = {"\xE0\x80\xA2", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xED\xBF\xBF", "\xE3\x81", "\xE3",
                               "\xE3\x41\x82", "\xC3\xA9", "\xF0\x9F\x98\x80", "\x80", "\xBF", "\xFF"};
    // Each of them at every offset of the first 64 bytes and just past them, after ASCII and
    // before characters that may be written.
    for (const char* form : odd) {
        for (std::size_t offset = 0; offset < 70; ++offset) {
            std::string text = std::string(offset, 'a') + form;
            while (text.size() < 200) text += three(0x4E00 + static_cast<std::uint32_t>(text.size()) % 0x40);
            check(text, text.size(), static_cast<int>(offset));
        }
    }
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const std::size_t size = random() % 500;
        const unsigned rare = 10 + random() % 400;  // how seldom a character is not one that may be written
        while (text.size() < size) {
            const unsigned kind = random() % 4;
            if (random() % rare == 0) {
                text += odd[random() % std::size(odd)];
            } else if (kind == 0) {
                text += three(0x800 + random() % (0x10000 - 0x800));
            } else if (kind == 1) {
                std::uint32_t unit;
                do unit = 0x3000 + random() % 0x7000; while (!unit_bytes::Ready(table[unit]));
                text += three(unit);
            } else {
                text += static_cast<char>(random() % 0x80);
            }
        }
        text += std::string(70, 'z');  // so a cut character's missing bytes are ASCII
        check(text, text.size() - 70 + random() % 71, i);
    }
}

TEST(Kernels, TheBestVariantIsOneThisProcessorRuns) {
    const std::vector<TKernelLevel> levels = KernelLevels();
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(TKernelLevel::Plain, levels.front());
    EXPECT_EQ(levels.back(), Kernels().level) << "the best of them";
}

}  // namespace
}  // namespace zarn::testing
