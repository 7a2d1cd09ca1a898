// Fuzzes the streaming pipeline against the whole-file model: the first bytes of the input pick
// the code page, the largest read and the piece size; the rest is the file. Any difference in
// the bytes written, or in the failure raised, stops the fuzzer.
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "stamp/record_stamper.h"
#include "tests/support/fake_code_pages.h"
#include "tests/support/memory_io.h"
#include "tests/support/stamping_model.h"
#include "win/failure.h"

using namespace zarn;
using namespace zarn::testing;

namespace {

template <class TRun>
std::string Outcome(TRun run) {
    try {
        return run();
    } catch (const TFailure& failure) {
        return "failure: " + std::string(failure.Text().begin(), failure.Text().end());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    TLatin1CodePage latin1;
    TDoubleByteCodePage doubleByte;
    TUtf8CodePage lenientUtf8(false);
    TUtf8CodePage utf8(true);
    TCodePage* const codePages[] = {&latin1, &doubleByte, &lenientUtf8};
    TCodePage& ansi = *codePages[data[0] % 3];
    const std::size_t most = 1 + data[1] % 64;
    const std::size_t piece = 8 + data[2] % 120;
    const std::string file(reinterpret_cast<const char*>(data) + 3, size - 3);
    const std::u16string stamp = u",2026/12/10";

    const std::string expected = Outcome([&] { return ModelStamp(file, ansi, utf8, stamp); });
    const std::string actual = Outcome([&] {
        TMemorySource source(file, most, data[1]);
        TMemorySink sink;
        StampText(source, ansi, utf8, stamp, sink, piece);
        return sink.Bytes();
    });
    if (expected != actual) {
        std::cerr << "pipeline and model differ (code page " << data[0] % 3 << ", reads up to " << most
                  << ", pieces of " << piece << ")\n";
        std::abort();
    }
    return 0;
}
