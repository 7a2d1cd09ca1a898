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

// UTF-16 into the code page by a table: runs of ASCII of every length up to past several blocks
// of 16, mixed with units whose entries are ready (of one, two and three bytes), not asked yet,
// replaced, or the authority's, and with units that share a byte with ASCII; counts that end in a
// block and past it; ASCII written as itself or not. The units taken and the bytes written are the
// plain variant's, and the plain variant's those of the table.
TEST(Kernels, EveryVariantEncodesUnitsAsThePlainOne) {
    const TKernels& plain = KernelsOf(TKernelLevel::Plain);
    std::mt19937 random(11);
    std::vector<std::uint32_t> table(0x10000);
    for (std::uint32_t unit = 0; unit < 0x80; ++unit) table[unit] = 1u << unit_bytes::kCountShift | unit;
    for (std::uint32_t unit = 0x80; unit < 0x10000; ++unit) {
        const unsigned kind = random() % 16;
        const std::uint32_t count = 1 + random() % 3;
        const std::uint32_t bytes = random() & (0xFFFFFFu >> (8 * (3 - count)));
        table[unit] = kind == 0 ? 0 : kind == 1 ? unit_bytes::kByAuthority : count << unit_bytes::kCountShift | bytes;
        if (kind == 2) table[unit] |= unit_bytes::kReplaced;
    }
    const char16_t others[] = {u'\x0080', u'\x00E9', u'\x0141', u'\x2C41', u'\x3042', u'\xD83D', u'\xFF22'};
    for (int i = 0; i < 20000; ++i) {
        std::u16string units;
        const std::size_t size = random() % 120;
        const unsigned asciiRun = random() % 40;  // how long runs of ASCII are, at most
        while (units.size() < size) {
            for (unsigned k = random() % (asciiRun + 1); k > 0; --k) units += static_cast<char16_t>(random() % 0x80);
            units += random() % 2 == 0 ? others[random() % std::size(others)] : static_cast<char16_t>(random());
        }
        const std::size_t count = units.empty() ? 0 : random() % (units.size() + 1);
        const bool ascii = random() % 4 != 0;
        std::string expected(4 * units.size() + 4, '\0');
        std::size_t expectedWritten = 0;
        const std::size_t expectedTaken = plain.encodeUnits(units.data(), count, expected.data(), table.data(), ascii, expectedWritten);
        std::string defined;
        std::size_t definedTaken = 0;
        for (; definedTaken < count && unit_bytes::Ready(table[units[definedTaken]]); ++definedTaken) {
            const std::uint32_t entry = table[units[definedTaken]];
            for (std::size_t k = 0; k < unit_bytes::Count(entry); ++k) defined += static_cast<char>(entry >> (8 * k));
        }
        ASSERT_EQ(definedTaken, expectedTaken) << "case " << i;
        ASSERT_EQ(Hex(defined), Hex(expected.substr(0, expectedWritten))) << "case " << i;
        for (const TKernelLevel level : KernelLevels()) {
            std::string out(4 * units.size() + 4, '\0');
            std::size_t written = 0;
            ASSERT_EQ(expectedTaken, KernelsOf(level).encodeUnits(units.data(), count, out.data(), table.data(), ascii, written))
                << static_cast<int>(level) << " case " << i;
            ASSERT_EQ(Hex(defined), Hex(out.substr(0, written))) << static_cast<int>(level) << " case " << i;
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
        const TLineState stateIn{random() % 2 == 0, random() % 2 == 0, random() % 2 == 0, random() % 1000};
        std::string expected(room, '\0');
        TLineState expectedState = stateIn;
        std::size_t expectedWritten = 0;
        const std::size_t expectedTaken =
            plain.copyLines(bytes.data(), bytes.size(), expected.data(), room, recordEnd, expectedState, expectedWritten);
        ASSERT_LE(expectedWritten, room);
        // Every line end written is counted: each ends in CR LF, and no line holds one.
        std::size_t written = 0;
        for (std::size_t at = expected.find("\r\n"); at != std::string::npos && at + 2 <= expectedWritten;
             at = expected.find("\r\n", at + 2)) {
            ++written;
        }
        ASSERT_EQ(stateIn.lineEnds + written, expectedState.lineEnds) << "case " << i;
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
            ASSERT_EQ(expectedState.lineEnds, state.lineEnds) << where;
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

// UTF-8 into the ANSI code page by a table: text of ASCII and three-byte characters, among them
// characters not well-formed (overlong, surrogates, cut short, continued wrongly also past the 64
// bytes looked at), two- and four-byte characters and stray continuation bytes; units whose
// entries are ready (of one, two and three bytes), not asked yet, replaced by the code page, or the
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
        if (kind == 2) table[unit] |= unit_bytes::kReplaced;  // written as its substitute's bytes, but counted
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
