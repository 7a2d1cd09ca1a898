// Fuzzes the streaming pipeline, with the cached code pages, against the whole-file model with
// the code pages they cache: the first bytes of the input pick the code page and the variant of
// the hot loops, the largest read and the piece size; the rest is the file. Any difference in the
// bytes written, in what was replaced or in the failure raised stops the fuzzer. So does a file
// without a byte order mark that does not come back byte for byte, stamps and line breaks aside.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

#include "stamp/record_stamper.h"
#include "tests/support/fake_code_pages.h"
#include "tests/support/memory_io.h"
#include "tests/support/outcome.h"
#include "tests/support/printing.h"
#include "tests/support/stamping_model.h"
#include "textfile/cached_code_page.h"
#include "textfile/kernels.h"

using namespace zarn;
using namespace zarn::testing;

namespace {

// The lines of bytes: CR LF, lone CR and lone LF each end one.
std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t end = bytes.find_first_of("\r\n", pos);
        lines.push_back(bytes.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos) break;
        pos = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

// Every line of the output is a line of the input, in order, as it was or with the stamp after
// it, and each ends in CR LF.
bool ComesBackByteForByte(const std::string& in, const std::string& out, const std::string& stamp) {
    const std::vector<std::string> lines = Lines(in);
    std::size_t at = 0;
    for (const std::string& line : lines) {
        if (out.compare(at, line.size(), line) != 0) return false;
        at += line.size();
        if (out.compare(at, stamp.size(), stamp) == 0 && out.compare(at + stamp.size(), 2, "\r\n") == 0) at += stamp.size();
        if (out.compare(at, 2, "\r\n") != 0) return false;
        at += 2;
    }
    return at == out.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    // The caches live as long as the fuzzer, as they would through a long file: filled as the
    // inputs need them. One set for each variant of the hot loops, and each decoding thread.
    static TLatin1CodePage latin1;
    static TDoubleByteCodePage doubleByte;
    static TUtf8CodePage lenientUtf8(false);
    static TUtf8CodePage utf8(true);
    static const std::vector<TKernelLevel> levels = KernelLevels();
    TCodePage* const codePages[] = {&latin1, &doubleByte, &lenientUtf8};
    const std::size_t levelAt = data[0] / 3 % levels.size();
    const TKernels& kernels = KernelsOf(levels[levelAt]);
    static std::vector<std::unique_ptr<TCachedCodePage>> caches;  // [level][code page][thread], and UTF-8 [level][thread]
    if (caches.empty()) {
        for (const TKernelLevel each : levels) {
            for (TCodePage* codePage : {static_cast<TCodePage*>(&latin1), static_cast<TCodePage*>(&doubleByte),
                                        static_cast<TCodePage*>(&lenientUtf8), static_cast<TCodePage*>(&utf8)}) {
                caches.push_back(std::make_unique<TCachedCodePage>(*codePage, KernelsOf(each)));
                caches.push_back(std::make_unique<TCachedCodePage>(*codePage, KernelsOf(each)));
            }
        }
    }
    auto cache = [&](unsigned codePage, unsigned thread) -> TCachedCodePage& { return *caches[(levelAt * 4 + codePage) * 2 + thread]; };
    TCodePage& ansi = *codePages[data[0] % 3];
    TCachedCodePage& cachedAnsi = cache(data[0] % 3, 0);
    TCachedCodePage& aheadAnsi = cache(data[0] % 3, 1);
    TCachedCodePage& cachedUtf8 = cache(3, 0);
    TCachedCodePage& aheadUtf8 = cache(3, 1);
    const std::size_t most = 1 + data[1] % 64;
    const std::size_t piece = 8 + data[2] % 120;
    const std::string file(reinterpret_cast<const char*>(data) + 3, size - 3);
    const std::u16string stamp = u",2026/12/10";

    const std::string expected = Outcome([&] {
        TTextChanges changes;
        const std::string bytes = ModelStamp(file, ansi, utf8, stamp, &changes);
        return bytes + Described(changes);
    });
    const std::string actual = Outcome([&] {
        TMemorySource source(file, most, data[1]);
        TMemorySink sink;
        const TTextChanges changes =
            StampText(source, {{cachedAnsi, cachedUtf8}, {aheadAnsi, aheadUtf8}}, stamp, sink, piece, kernels);
        return sink.Bytes() + Described(changes);
    });
    if (expected != actual) {
        std::cerr << "pipeline and model differ (code page " << data[0] % 3 << ", kernels " << static_cast<int>(kernels.level)
                  << ", reads up to " << most
                  << ", pieces of " << piece << ")\n";
        std::abort();
    }
    return 0;
}
