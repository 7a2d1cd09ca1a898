// Micro-benchmarks of the hot loops, in bytes per second of input: splitting and stamping,
// decoding and encoding, over CSV in memory.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "stamp/record_stamper.h"
#include "tests/support/conversions.h"
#include "tests/support/fake_code_pages.h"
#include "textfile/cached_code_page.h"

namespace zarn::testing {
namespace {

// Short ASCII fields, 1% of records with a quoted line break.
std::string AsciiCsv(std::size_t size) {
    std::mt19937 random(1);
    std::string csv;
    while (csv.size() < size) {
        if (random() % 100 == 0) csv += std::to_string(random() % 1000000) + ",abc,\"quoted\nbreak\"," + std::to_string(random() % 999) + "\r\n";
        else csv += std::to_string(random() % 1000000) + ",field" + std::to_string(random() % 100) + ",value," + std::to_string(random() % 100000) + ",xyz\r\n";
    }
    return csv;
}

// The same shape with double-byte text in every field.
std::string DoubleByteCsv(std::size_t size) {
    std::string csv;
    std::mt19937 random(2);
    while (csv.size() < size) {
        for (int field = 0; field < 4; ++field) {
            for (int i = 0; i < 4; ++i) csv += {static_cast<char>(0x88 + random() % 8), static_cast<char>(0x40 + random() % 0x80)};
            csv += field < 3 ? "," : "\r\n";
        }
    }
    return csv;
}

std::string Utf16(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) bytes += {c, '\0'};
    return bytes;
}

class TWholeSource final : public TByteSource {
public:
    explicit TWholeSource(const std::string& bytes) : bytes_(bytes) {}
    std::size_t Read(char* buffer, std::size_t capacity) override {
        const std::size_t count = std::min(capacity, bytes_.size() - pos_);
        std::memcpy(buffer, bytes_.data() + pos_, count);
        pos_ += count;
        return count;
    }

private:
    const std::string& bytes_;
    std::size_t pos_ = 0;
};

class TCountingSink final : public TByteSink {
public:
    void Write(const char*, std::size_t count) override { bytes += count; }
    std::size_t bytes = 0;
};

// The stamping pipeline with the cached code pages, as the program has it.
void Stamp(benchmark::State& state, const std::string& input, TCodePage& ansi) {
    TUtf8CodePage utf8(true);
    TCachedCodePage cachedAnsi(ansi), cachedUtf8(utf8), aheadAnsi(ansi), aheadUtf8(utf8);
    for (auto _ : state) {
        TWholeSource source(input);
        TCountingSink sink;
        StampText(source, {{cachedAnsi, cachedUtf8}, {aheadAnsi, aheadUtf8}}, u",2026/12/10", sink);
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

void BM_StampAsciiCsv(benchmark::State& state) {
    static const std::string input = AsciiCsv(32 << 20);
    TLatin1CodePage ansi;
    Stamp(state, input, ansi);
}
BENCHMARK(BM_StampAsciiCsv);

void BM_StampUtf16Csv(benchmark::State& state) {
    static const std::string input = Utf16(AsciiCsv(16 << 20));
    TLatin1CodePage ansi;
    Stamp(state, input, ansi);
}
BENCHMARK(BM_StampUtf16Csv);

void BM_StampDoubleByteCsv(benchmark::State& state) {
    static const std::string input = DoubleByteCsv(32 << 20);
    TDoubleByteCodePage ansi;
    Stamp(state, input, ansi);
}
BENCHMARK(BM_StampDoubleByteCsv);

// Decoding and encoding alone: the reader into a sink that only looks at the bytes.
class TQuoteCounter final : public TTextSink {
public:
    void Bytes(std::string_view bytes) override {
        for (char byte : bytes) quotes += byte == '"';
    }
    void FirstReplacedNext() override {}
    void End() override {}
    std::size_t quotes = 0;
};

void BM_DecodeUtf16(benchmark::State& state) {
    static const std::string input = Utf16(AsciiCsv(16 << 20));
    TLatin1CodePage ansi;
    TUtf8CodePage utf8(true);
    TCachedCodePage cachedAnsi(ansi), cachedUtf8(utf8);
    for (auto _ : state) {
        TWholeSource source(input);
        TQuoteCounter counter;
        ReadText(source, {{cachedAnsi, cachedUtf8}, {cachedAnsi, cachedUtf8}}, counter);
        benchmark::DoNotOptimize(counter.quotes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}
BENCHMARK(BM_DecodeUtf16);

// Encoding: UTF-16 text of ASCII to the ANSI code page by the cached code page, in pieces.
void BM_EncodeAsciiText(benchmark::State& state) {
    static const std::string ascii = AsciiCsv(16 << 20);
    static const std::u16string text(ascii.begin(), ascii.end());
    TLatin1CodePage latin1;
    TCachedCodePage ansi(latin1);
    std::string out(1 << 16, '\0');
    for (auto _ : state) {
        TReplacements replaced;
        for (std::size_t pos = 0; pos < text.size(); pos += out.size()) {
            benchmark::DoNotOptimize(ansi.Encode(std::u16string_view(text).substr(pos, out.size()), out.data(), replaced));
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_EncodeAsciiText);

// Japanese-like text: 8 fields of two to four ideographs a record, 1% of records with a quoted
// line break; the ideographs are those the tests' double-byte code page has.
std::u16string JapaneseText(std::size_t units) {
    std::mt19937 random(3);
    std::u16string text;
    while (text.size() < units) {
        for (int field = 0; field < 8; ++field) {
            const bool quoted = field == 3 && random() % 100 == 0;
            if (quoted) text += u'"';
            for (int i = 2 + static_cast<int>(random() % 3); i > 0; --i) {
                text += static_cast<char16_t>(0x4E00 + random() % 16 * 256 + 0x40 + random() % 0xC0);  // trails of 0x40 and above
            }
            if (quoted) text += u"\r\n\x4E40\"";
            text += field < 7 ? u"," : u"\r\n";
        }
    }
    return text;
}

// A business mix: ideographs of the tests' double-byte code page between ASCII numbers, dates,
// codes and amounts, 1% of records with a quoted line break.
std::u16string BusinessText(std::size_t units) {
    std::mt19937 random(4);
    std::u16string text;
    auto word = [&] {
        std::u16string ideographs;
        for (int i = 2 + static_cast<int>(random() % 4); i > 0; --i) {
            ideographs += static_cast<char16_t>(0x4E00 + random() % 16 * 256 + 0x40 + random() % 0xC0);
        }
        return ideographs;
    };
    auto ascii = [](const std::string& digits) { return std::u16string(digits.begin(), digits.end()); };
    while (text.size() < units) {
        text += ascii(std::to_string(100000 + random() % 900000)) + u"," + word() + u",2026/" + ascii(std::to_string(1 + random() % 12)) + u"/" +
                ascii(std::to_string(1 + random() % 28)) + u"," + word() + word() + u",A-" + ascii(std::to_string(random() % 10000)) + u",\"" +
                ascii(std::to_string(1 + random() % 999)) + u"," + ascii(std::to_string(100 + random() % 900)) + u"\"," + word() +
                (random() % 100 == 0 ? u",\"" + word() + u"\r\n" + word() + u"\"" : u"," + word()) + u"\r\n";
    }
    return text;
}

void BM_StampBusinessDoubleByte(benchmark::State& state) {
    TDoubleByteCodePage ansi;
    static const std::string input = Encoded(ansi, BusinessText(16 << 20));
    Stamp(state, input, ansi);
}
BENCHMARK(BM_StampBusinessDoubleByte);

void BM_StampBusinessUtf8(benchmark::State& state) {
    TDoubleByteCodePage ansi;
    TUtf8CodePage utf8(true);
    static const std::string input = "\xEF\xBB\xBF" + Encoded(utf8, BusinessText(16 << 20));
    Stamp(state, input, ansi);
}
BENCHMARK(BM_StampBusinessUtf8);

// Text as UTF-16LE after its mark.
std::string Utf16File(const std::u16string& text) {
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), 2 * text.size());
}

void BM_StampBusinessUtf16(benchmark::State& state) {
    TDoubleByteCodePage ansi;
    static const std::string input = Utf16File(BusinessText(16 << 20));
    Stamp(state, input, ansi);
}
BENCHMARK(BM_StampBusinessUtf16);

void BM_StampJapaneseDoubleByte(benchmark::State& state) {
    TDoubleByteCodePage ansi;
    static const std::string input = Encoded(ansi, JapaneseText(16 << 20));
    Stamp(state, input, ansi);
}
BENCHMARK(BM_StampJapaneseDoubleByte);

void BM_StampJapaneseUtf8(benchmark::State& state) {
    TDoubleByteCodePage ansi;
    TUtf8CodePage utf8(true);
    static const std::string input = "\xEF\xBB\xBF" + Encoded(utf8, JapaneseText(16 << 20));
    Stamp(state, input, ansi);
}
BENCHMARK(BM_StampJapaneseUtf8);

void BM_StampJapaneseUtf16(benchmark::State& state) {
    TDoubleByteCodePage ansi;
    static const std::string input = Utf16File(JapaneseText(16 << 20));
    Stamp(state, input, ansi);
}
BENCHMARK(BM_StampJapaneseUtf16);

}  // namespace
}  // namespace zarn::testing

BENCHMARK_MAIN();
