#include "textfile/kernels.h"

#include <immintrin.h>

#include <string_view>

namespace zarn {

namespace {

// Plain: one unit, one byte at a time. -------------------------------------------------------

template <class TUnit>
std::size_t ScanPlain(const TUnit* text, std::size_t pos, std::size_t count, bool& odd) {
    for (; pos < count; ++pos) {
        const auto unit = static_cast<std::make_unsigned_t<TUnit>>(text[pos]);
        if (unit > u'"') continue;
        if (unit == u'"') odd = !odd;
        else if (unit == u'\r' || unit == u'\n') break;
    }
    return pos;
}

std::size_t AsciiRunPlain(const unsigned char* bytes, std::size_t count) {
    std::size_t run = 0;
    while (run < count && bytes[run] < 0x80) ++run;
    return run;
}

bool InRanges(unsigned byte, const TByteRanges& ranges) {
    for (std::size_t r = 0; r < ranges.count; ++r) {
        if (static_cast<std::uint8_t>(byte - ranges.first[r]) <= ranges.span[r]) return true;
    }
    return false;
}

void Classify64Plain(const unsigned char* bytes, const TByteRanges* const ranges[3], std::uint64_t& high,
                     std::uint64_t in[3]) {
    high = in[0] = in[1] = in[2] = 0;
    for (unsigned i = 0; i < 64; ++i) high |= std::uint64_t{bytes[i] >= 0x80} << i;
    if (high == 0) return;
    for (unsigned i = 0; i < 64; ++i) {
        for (unsigned k = 0; k < 3; ++k) in[k] |= std::uint64_t{InRanges(bytes[i], *ranges[k])} << i;
    }
}

// SSE2: 16 bytes at a time. -------------------------------------------------------------------

template <class TUnit>
std::size_t ScanSse2(const TUnit* text, std::size_t pos, std::size_t count, bool& odd) {
    constexpr std::size_t kUnits = 16 / sizeof(TUnit);
    constexpr unsigned kPerUnit = sizeof(TUnit) == 1 ? 0xFFFF : 0x5555;  // one mask bit per unit
    const auto splat = [](char16_t unit) {
        return sizeof(TUnit) == 1 ? _mm_set1_epi8(static_cast<char>(unit)) : _mm_set1_epi16(static_cast<short>(unit));
    };
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
    return ScanPlain(text, pos, count, odd);
}

std::size_t AsciiRunSse2(const unsigned char* bytes, std::size_t count) {
    std::size_t run = 0;
    for (; run + 16 <= count; run += 16) {
        const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + run))));
        if (high != 0) return run + static_cast<unsigned>(__builtin_ctz(high));
    }
    return run + AsciiRunPlain(bytes + run, count - run);
}

// Bit i: byte i of the 16 lies in one of the ranges.
unsigned InRanges16(__m128i bytes, const TByteRanges& ranges) {
    __m128i in = _mm_setzero_si128();
    for (std::size_t r = 0; r < ranges.count; ++r) {
        const __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8(static_cast<char>(ranges.first[r])));
        in = _mm_or_si128(in, _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(static_cast<char>(ranges.span[r]))), offset));
    }
    return static_cast<unsigned>(_mm_movemask_epi8(in));
}

// The classification 16 bytes at a time, with InSet for the sets: inlined into each variant, so
// that it is compiled for that variant's instructions.
template <unsigned (*InSet)(__m128i, const TByteRanges&)>
inline __attribute__((always_inline)) void Classify64By16(const unsigned char* bytes, const TByteRanges* const ranges[3],
                                                          std::uint64_t& high, std::uint64_t in[3]) {
    high = in[0] = in[1] = in[2] = 0;
    __m128i x[4];
    for (unsigned part = 0; part < 4; ++part) {
        x[part] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
        high |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(x[part]))} << (16 * part);
    }
    if (high == 0) return;
    for (unsigned part = 0; part < 4; ++part) {
        for (unsigned k = 0; k < 3; ++k) in[k] |= std::uint64_t{InSet(x[part], *ranges[k])} << (16 * part);
    }
}

void Classify64Sse2(const unsigned char* bytes, const TByteRanges* const ranges[3], std::uint64_t& high,
                    std::uint64_t in[3]) {
    Classify64By16<InRanges16>(bytes, ranges, high, in);
}

// SSSE3: 16 bytes at a time, a set looked up by byte shuffles. ------------------------------

// Bit i: byte i of the 16 is in the set: the bits of its low nibble's table entry (low or high
// half of the bytes by the top bit), and of them the one for the rest of its high nibble.
__attribute__((target("ssse3"))) unsigned InSet16(__m128i bytes, const TByteRanges& set) {
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i lowNibble = _mm_and_si128(bytes, nibble);
    const __m128i highNibble = _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble);
    const __m128i lowHalf = _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(set.low)), lowNibble);
    const __m128i highHalf = _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(set.high)), lowNibble);
    const __m128i top = _mm_cmpgt_epi8(_mm_setzero_si128(), bytes);  // bytes of 0x80 and above
    const __m128i row = _mm_or_si128(_mm_and_si128(top, highHalf), _mm_andnot_si128(top, lowHalf));
    const __m128i bit = _mm_shuffle_epi8(_mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128), highNibble);
    const __m128i in = _mm_cmpeq_epi8(_mm_and_si128(row, bit), bit);
    return static_cast<unsigned>(_mm_movemask_epi8(in));
}

__attribute__((target("ssse3"))) void Classify64Ssse3(const unsigned char* bytes, const TByteRanges* const ranges[3],
                                                      std::uint64_t& high, std::uint64_t in[3]) {
    Classify64By16<InSet16>(bytes, ranges, high, in);
}

// AVX2: 32 bytes at a time. -------------------------------------------------------------------

template <class TUnit>
__attribute__((target("avx2"))) std::size_t ScanAvx2(const TUnit* text, std::size_t pos, std::size_t count, bool& odd) {
    constexpr std::size_t kUnits = 32 / sizeof(TUnit);
    constexpr unsigned kPerUnit = sizeof(TUnit) == 1 ? 0xFFFFFFFFu : 0x55555555u;
    const bool bytes = sizeof(TUnit) == 1;
    const __m256i quote = bytes ? _mm256_set1_epi8('"') : _mm256_set1_epi16('"');
    const __m256i cr = bytes ? _mm256_set1_epi8('\r') : _mm256_set1_epi16('\r');
    const __m256i lf = bytes ? _mm256_set1_epi8('\n') : _mm256_set1_epi16('\n');
    unsigned parity = 0;
    for (; pos + kUnits <= count; pos += kUnits) {
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + pos));
        const __m256i isQuote = bytes ? _mm256_cmpeq_epi8(block, quote) : _mm256_cmpeq_epi16(block, quote);
        const __m256i isEnd = bytes ? _mm256_or_si256(_mm256_cmpeq_epi8(block, cr), _mm256_cmpeq_epi8(block, lf))
                                    : _mm256_or_si256(_mm256_cmpeq_epi16(block, cr), _mm256_cmpeq_epi16(block, lf));
        const unsigned quotes = static_cast<unsigned>(_mm256_movemask_epi8(isQuote)) & kPerUnit;
        const unsigned ends = static_cast<unsigned>(_mm256_movemask_epi8(isEnd)) & kPerUnit;
        if (ends != 0) {
            const unsigned first = static_cast<unsigned>(__builtin_ctz(ends));
            const unsigned before = first == 0 ? 0 : quotes & (0xFFFFFFFFu >> (32 - first));
            parity ^= static_cast<unsigned>(__builtin_parity(before));
            odd ^= parity != 0;
            return pos + first / sizeof(TUnit);
        }
        parity ^= static_cast<unsigned>(__builtin_parity(quotes));
    }
    odd ^= parity != 0;
    return ScanSse2(text, pos, count, odd);
}

__attribute__((target("avx2"))) std::size_t AsciiRunAvx2(const unsigned char* bytes, std::size_t count) {
    std::size_t run = 0;
    for (; run + 32 <= count; run += 32) {
        const std::uint32_t high = static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + run))));
        if (high != 0) return run + static_cast<unsigned>(__builtin_ctz(high));
    }
    return run + AsciiRunSse2(bytes + run, count - run);
}

// As InSet16, for 32 bytes: each half looks up the same tables.
__attribute__((target("avx2"))) std::uint32_t InSet32(__m256i bytes, const TByteRanges& set) {
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i lowNibble = _mm256_and_si256(bytes, nibble);
    const __m256i highNibble = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble);
    const __m256i lowTable = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(set.low)));
    const __m256i highTable = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(set.high)));
    const __m256i lowHalf = _mm256_shuffle_epi8(lowTable, lowNibble);
    const __m256i highHalf = _mm256_shuffle_epi8(highTable, lowNibble);
    const __m256i row = _mm256_blendv_epi8(lowHalf, highHalf, bytes);  // by the top bit of each byte
    const __m256i bits = _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128,
                                          1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m256i bit = _mm256_shuffle_epi8(bits, highNibble);
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(row, bit), bit)));
}

__attribute__((target("avx2"))) void Classify64Avx2(const unsigned char* bytes, const TByteRanges* const ranges[3],
                                                    std::uint64_t& high, std::uint64_t in[3]) {
    high = in[0] = in[1] = in[2] = 0;
    __m256i x[2];
    for (unsigned part = 0; part < 2; ++part) {
        x[part] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * part));
        high |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(x[part]))} << (32 * part);
    }
    if (high == 0) return;
    for (unsigned part = 0; part < 2; ++part) {
        for (unsigned k = 0; k < 3; ++k) in[k] |= std::uint64_t{InSet32(x[part], *ranges[k])} << (32 * part);
    }
}

constexpr TKernels kPlain{TKernelLevel::Plain, ScanPlain<char>, ScanPlain<char16_t>, AsciiRunPlain, Classify64Plain};
constexpr TKernels kSse2{TKernelLevel::Sse2, ScanSse2<char>, ScanSse2<char16_t>, AsciiRunSse2, Classify64Sse2};
constexpr TKernels kSsse3{TKernelLevel::Ssse3, ScanSse2<char>, ScanSse2<char16_t>, AsciiRunSse2, Classify64Ssse3};
constexpr TKernels kAvx2{TKernelLevel::Avx2, ScanAvx2<char>, ScanAvx2<char16_t>, AsciiRunAvx2, Classify64Avx2};

bool Runs(const char* feature) {
    __builtin_cpu_init();
    return feature == std::string_view("ssse3") ? __builtin_cpu_supports("ssse3") : __builtin_cpu_supports("avx2");
}

}  // namespace

const TKernels& Kernels() {
    static const TKernels& best = Runs("avx2") ? kAvx2 : Runs("ssse3") ? kSsse3 : kSse2;
    return best;
}

std::vector<TKernelLevel> KernelLevels() {
    std::vector<TKernelLevel> levels{TKernelLevel::Plain, TKernelLevel::Sse2};
    if (Runs("ssse3")) levels.push_back(TKernelLevel::Ssse3);
    if (Runs("avx2")) levels.push_back(TKernelLevel::Avx2);
    return levels;
}

const TKernels& KernelsOf(TKernelLevel level) {
    switch (level) {
    case TKernelLevel::Plain: return kPlain;
    case TKernelLevel::Sse2: return kSse2;
    case TKernelLevel::Ssse3: return kSsse3;
    case TKernelLevel::Avx2: return kAvx2;
    }
    return kPlain;
}

}  // namespace zarn
