// Fuzzes the streaming pipeline, with the cached code pages, against the whole-file model with
// the code pages they cache: the first bytes of the input pick the code page, the largest read
// and the piece size; the rest is the file. Any difference in the bytes written, or in the
// failure raised, stops the fuzzer.
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "stamp/record_stamper.h"
#include "tests/support/fake_code_pages.h"
#include "tests/support/memory_io.h"
#include "tests/support/outcome.h"
#include "tests/support/stamping_model.h"
#include "textfile/cached_code_page.h"

using namespace zarn;
using namespace zarn::testing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    // The caches live as long as the fuzzer, as they would through a long file: filled as the
    // inputs need them.
    static TLatin1CodePage latin1;
    static TDoubleByteCodePage doubleByte;
    static TUtf8CodePage lenientUtf8(false);
    static TUtf8CodePage utf8(true);
    static TCachedCodePage cachedLatin1(latin1), cachedDoubleByte(doubleByte), cachedLenientUtf8(lenientUtf8),
        cachedUtf8(utf8);
    static TCachedCodePage aheadLatin1(latin1), aheadDoubleByte(doubleByte), aheadLenientUtf8(lenientUtf8), aheadUtf8(utf8);
    TCodePage* const codePages[] = {&latin1, &doubleByte, &lenientUtf8};
    TCachedCodePage* const cachedCodePages[] = {&cachedLatin1, &cachedDoubleByte, &cachedLenientUtf8};
    TCachedCodePage* const aheadCodePages[] = {&aheadLatin1, &aheadDoubleByte, &aheadLenientUtf8};
    TCodePage& ansi = *codePages[data[0] % 3];
    TCachedCodePage& cachedAnsi = *cachedCodePages[data[0] % 3];
    TCachedCodePage& aheadAnsi = *aheadCodePages[data[0] % 3];
    const std::size_t most = 1 + data[1] % 64;
    const std::size_t piece = 8 + data[2] % 120;
    const std::string file(reinterpret_cast<const char*>(data) + 3, size - 3);
    const std::u16string stamp = u",2026/12/10";

    const std::string expected = Outcome([&] { return ModelStamp(file, ansi, utf8, stamp); });
    const std::string actual = Outcome([&] {
        TMemorySource source(file, most, data[1]);
        TMemorySink sink;
        StampText(source, {cachedAnsi, cachedUtf8, aheadAnsi, aheadUtf8}, stamp, sink, piece);
        return sink.Bytes();
    });
    if (expected != actual) {
        std::cerr << "pipeline and model differ (code page " << data[0] % 3 << ", reads up to " << most
                  << ", pieces of " << piece << ")\n";
        std::abort();
    }
    return 0;
}
