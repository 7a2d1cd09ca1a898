// The streaming pipeline against the whole-file model, on generated files read in random pieces:
// the pipeline converts through the cached code pages, the model through the code pages they
// cache. Both give the bytes written and what the ANSI code page replaced, with its line.
#include <gtest/gtest.h>

#include "stamp/record_stamper.h"
#include "tests/support/fake_code_pages.h"
#include "tests/support/memory_io.h"
#include "tests/support/outcome.h"
#include "tests/support/stamping_model.h"
#include "textfile/cached_code_page.h"

namespace zarn::testing {
namespace {

void CompareWithModel(TCodePage& ansi, std::uint32_t seed, int cases, const TKernels& kernels) {
    TUtf8CodePage utf8(true);
    TCachedCodePage cachedAnsi(ansi, kernels), cachedUtf8(utf8, kernels), aheadAnsi(ansi, kernels), aheadUtf8(utf8, kernels);
    std::mt19937 random(seed);
    const std::u16string stamp = u",2026/12/10";
    for (int i = 0; i < cases; ++i) {
        const std::string file = GenerateFile(random);
        const std::size_t most = std::uniform_int_distribution<std::size_t>(1, 64)(random);
        const std::size_t piece = std::uniform_int_distribution<std::size_t>(8, 80)(random);
        const std::string expected = Outcome([&] {
            TTextChanges changes;
            const std::string bytes = ModelStamp(file, ansi, utf8, stamp, &changes);
            return bytes + Described(changes);
        });
        const std::string actual = Outcome([&] {
            TMemorySource source(file, most, random());
            TMemorySink sink;
            const TTextChanges changes =
                StampText(source, {{cachedAnsi, cachedUtf8}, {aheadAnsi, aheadUtf8}}, stamp, sink, piece, kernels);
            return sink.Bytes() + Described(changes);
        });
        ASSERT_EQ(expected, actual) << "kernels " << static_cast<int>(kernels.level) << ", case " << i << ", reads of up to " << most << " bytes, pieces of " << piece
                                    << "\ninput: " << Hex(file);
    }
}

// With every variant of the hot loops that this processor runs, over the same inputs.
void CompareWithModel(TCodePage& ansi, std::uint32_t seed, int cases) {
    for (const TKernelLevel level : KernelLevels()) {
        const TKernels& kernels = KernelsOf(level);
        CompareWithModel(ansi, seed, cases, kernels);
    }
}

TEST(StampingDifferential, SingleByteCodePage) {
    TLatin1CodePage ansi;
    CompareWithModel(ansi, 1, 4000);
}

TEST(StampingDifferential, DoubleByteCodePage) {
    TDoubleByteCodePage ansi;
    CompareWithModel(ansi, 2, 4000);
}

TEST(StampingDifferential, Utf8AsAnsiCodePage) {
    TUtf8CodePage ansi(false);
    CompareWithModel(ansi, 3, 4000);
}

TEST(StampingDifferential, WholeFileInOneRead) {
    TDoubleByteCodePage ansi;
    TUtf8CodePage utf8(true);
    TCachedCodePage cachedAnsi(ansi), cachedUtf8(utf8), aheadAnsi(ansi), aheadUtf8(utf8);
    std::mt19937 random(4);
    for (int i = 0; i < 500; ++i) {
        const std::string file = GenerateFile(random);
        const std::string expected = Outcome([&] { return ModelStamp(file, ansi, utf8, u",2026.12.10"); });
        const std::string actual = Outcome([&] {
            TMemorySource source(file, file.size() + 1, 0);
            TMemorySink sink;
            StampText(source, {{cachedAnsi, cachedUtf8}, {aheadAnsi, aheadUtf8}}, u",2026.12.10", sink);
            return sink.Bytes();
        });
        ASSERT_EQ(expected, actual) << "input: " << Hex(file);
    }
}

}  // namespace
}  // namespace zarn::testing
