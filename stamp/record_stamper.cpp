#include "stamp/record_stamper.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zarn {

namespace {

// The position of the first CR or LF at or after pos (or count when there is none), flipping odd
// for every double quote before it.
template <class TUnit>
std::size_t ScanLine(const TUnit* text, std::size_t pos, std::size_t count, bool& odd) {
#if defined(__SSE2__)
    // Sixteen bytes at a time: masks of the quotes and of the line ends in each block.
    constexpr std::size_t kUnits = 16 / sizeof(TUnit);
    constexpr unsigned kPerUnit = sizeof(TUnit) == 1 ? 0xFFFF : 0x5555;  // one mask bit per unit
    const auto splat = [](char16_t unit) { return sizeof(TUnit) == 1 ? _mm_set1_epi8(static_cast<char>(unit)) : _mm_set1_epi16(static_cast<short>(unit)); };
    const auto equal = [](__m128i a, __m128i b) { return sizeof(TUnit) == 1 ? _mm_cmpeq_epi8(a, b) : _mm_cmpeq_epi16(a, b); };
    const __m128i quote = splat(u'"'), cr = splat(u'\r'), lf = splat(u'\n');
    unsigned parity = 0;
    for (; pos + kUnits <= count; pos += kUnits) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos));
        const unsigned quotes = static_cast<unsigned>(_mm_movemask_epi8(equal(block, quote))) & kPerUnit;
        const unsigned ends =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(equal(block, cr), equal(block, lf)))) & kPerUnit;
        if (ends != 0) {
            const unsigned first = static_cast<unsigned>(__builtin_ctz(ends));
            parity ^= static_cast<unsigned>(__builtin_parity(quotes & ((1u << first) - 1)));
            odd ^= parity != 0;
            return pos + first / sizeof(TUnit);
        }
        parity ^= static_cast<unsigned>(__builtin_parity(quotes));
    }
    odd ^= parity != 0;
#endif
    for (; pos < count; ++pos) {
        const auto unit = static_cast<char16_t>(text[pos]);
        if (unit > u'"') continue;
        if (unit == u'"') odd = !odd;
        else if (unit == u'\r' || unit == u'\n') break;
    }
    return pos;
}

}  // namespace

void TRecordStamper::Text(std::u16string_view text) { Feed(text.data(), text.size()); }

void TRecordStamper::Bytes(std::string_view bytes) { Feed(bytes.data(), bytes.size()); }

template <class TUnit>
void TRecordStamper::Feed(const TUnit* text, std::size_t count) {
    std::size_t pos = 0;
    while (pos < count) {
        if (skipLf_) {
            skipLf_ = false;
            if (text[pos] == u'\n') {
                ++pos;
                continue;
            }
        }
        const std::size_t start = pos;
        pos = ScanLine(text, pos, count, oddQuotes_);
        if (pos > start) {
            inLine_ = true;
            if constexpr (sizeof(TUnit) == 1) writer_.Bytes(text + start, pos - start);
            else writer_.Text(std::u16string_view(text + start, pos - start));
        }
        if (pos == count) break;
        EndLine();
        skipLf_ = text[pos] == u'\r';
        ++pos;
    }
}

void TRecordStamper::EndLine() {
    writer_.LineEnd(!oddQuotes_);
    inLine_ = false;
}

void TRecordStamper::End() {
    if (inLine_) EndLine();
    inLine_ = false;
}

void StampText(TByteSource& source, const TReadingCodePages& codePages, std::u16string_view stamp, TByteSink& sink,
               std::size_t pieceBytes) {
    TTextWriter writer(codePages.ansi, sink, stamp, pieceBytes);
    TRecordStamper stamper(writer);
    ReadText(source, codePages, stamper, pieceBytes);
    writer.Finish();
}

}  // namespace zarn
