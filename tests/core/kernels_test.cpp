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

// The classification of 64 bytes, with ranges shaped as a double-byte code page's (lead bytes, the
// plain lead bytes, their trails), as many as a set holds, none, and random ones; bytes of every
// value, all ASCII, and runs of one kind.
TEST(Kernels, EveryVariantClassifiesAsThePlainOne) {
    const TKernels& plain = KernelsOf(TKernelLevel::Plain);
    std::mt19937 random(12);
    auto between = [](unsigned first, unsigned last) { return [=](unsigned byte) { return byte >= first && byte <= last; }; };
    std::vector<TByteRanges> sets = {
        RangesOf([](unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }),
        RangesOf(between(0x88, 0x9F)),
        RangesOf([](unsigned b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }),
        RangesOf([](unsigned b) { return b % 32 < 4; }),  // eight ranges
        TByteRanges(),
        RangesOf(between(0, 255)),
    };
    for (int i = 0; i < 200; ++i) {
        const unsigned a = random() % 256, b = random() % 256;
        sets.push_back(RangesOf(between(std::min(a, b), std::max(a, b))));
    }
    for (int i = 0; i < 20000; ++i) {
        unsigned char bytes[64];
        const unsigned kind = random() % 4;
        for (unsigned char& byte : bytes) {
            byte = static_cast<unsigned char>(kind == 0 ? random() % 0x80 : kind == 1 ? random() : random() % 2 ? 0x82 : 0x41);
        }
        if (kind == 3) bytes[random() % 64] = static_cast<unsigned char>(random());
        const TByteRanges* const ranges[3] = {&sets[random() % sets.size()], &sets[random() % sets.size()],
                                              &sets[random() % sets.size()]};
        std::uint64_t expectedHigh, expected[3];
        plain.classify64(bytes, ranges, expectedHigh, expected);
        for (const TKernelLevel level : KernelLevels()) {
            std::uint64_t high, in[3];
            KernelsOf(level).classify64(bytes, ranges, high, in);
            ASSERT_EQ(expectedHigh, high) << static_cast<int>(level) << " case " << i;
            for (unsigned k = 0; k < 3; ++k) ASSERT_EQ(expected[k], in[k]) << static_cast<int>(level) << " case " << i << " set " << k;
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

TEST(Kernels, TheBestVariantIsOneThisProcessorRuns) {
    const std::vector<TKernelLevel> levels = KernelLevels();
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(TKernelLevel::Plain, levels.front());
    EXPECT_EQ(levels.back(), Kernels().level) << "the best of them";
}

}  // namespace
}  // namespace zarn::testing
