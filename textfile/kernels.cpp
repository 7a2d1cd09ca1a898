#include "textfile/kernels.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace zarn {

namespace {

// Lines copied out, the part that every variant shares. ------------------------------------------

// Each bit the parity of the set bits up to it.
inline std::uint64_t PrefixXor(std::uint64_t bits) {
    for (unsigned shift = 1; shift < 64; shift *= 2) bits ^= bits << shift;
    return bits;
}

std::size_t CopyLinesPlain(const char* in, std::size_t count, char* out, std::size_t room, std::string_view recordLineEnd,
                           TLineState& state, std::size_t& written) {
    std::size_t pos = 0, o = 0;
    while (pos < count) {
        if (state.skipLf) {
            state.skipLf = false;
            if (in[pos] == '\n') {
                ++pos;
                continue;
            }
        }
        // The line's bytes, as far as they fit.
        const std::size_t limit = pos + std::min(count - pos, room - o);
        std::size_t end = pos;
        for (; end < limit; ++end) {
            const auto byte = static_cast<unsigned char>(in[end]);
            if (byte > '"') continue;
            if (byte == '"') state.odd = !state.odd;
            else if (byte == '\r' || byte == '\n') break;
        }
        if (end > pos) {
            std::memcpy(out + o, in + pos, end - pos);
            o += end - pos;
            state.inLine = true;
            pos = end;
        }
        if (pos == limit) break;  // all taken, or no more room
        const std::string_view lineEnd = state.odd ? std::string_view("\r\n", 2) : recordLineEnd;
        if (room - o < lineEnd.size()) break;
        std::memcpy(out + o, lineEnd.data(), lineEnd.size());
        o += lineEnd.size();
        ++state.lineEnds;
        state.inLine = false;
        state.skipLf = in[pos] == '\r';
        ++pos;
    }
    written += o;
    return pos;
}

// The longest line end that CopyLinesBy64 writes by stores of its own.
constexpr std::size_t kStoredLineEnd = 64;

// Lines copied 64 bytes at a time, with TBlock's vector instructions: the quotes, CRs and LFs of
// a block as bit masks give every line end in it and, by the running parity of the quotes, whether
// it ends a record. A line and its end are copied by whole vectors, which may store past them
// while there is room (the next line overwrites that) and read past them within the bytes. The
// last bytes, and a line that does not fit with that room, the plain way. Inlined into each
// variant, so that it is compiled for that variant's instructions.
template <class TBlock>
inline __attribute__((always_inline)) std::size_t CopyLinesBy64(const char* in, std::size_t count, char* out,
                                                                std::size_t room, std::string_view recordLineEnd,
                                                                TLineState& state, std::size_t& written) {
    if (recordLineEnd.size() > kStoredLineEnd) return CopyLinesPlain(in, count, out, room, recordLineEnd, state, written);
    alignas(32) char lineEnds[2][kStoredLineEnd] = {};  // [odd]: the end of a line that ends a record, and of another
    std::memcpy(lineEnds[0], recordLineEnd.data(), recordLineEnd.size());
    std::memcpy(lineEnds[1], "\r\n", 2);
    const std::size_t lineEndSizes[2] = {recordLineEnd.size(), 2};
    std::size_t start = 0;  // where the line now being copied begins
    bool skipLf = state.skipLf;
    if (skipLf && count > 0) {
        skipLf = false;
        start = in[0] == '\n';
    }
    bool odd = state.odd;  // of the quotes before start
    bool inLine = state.inLine;
    std::uint64_t ended = state.lineEnds;
    std::size_t o = 0;
    std::uint64_t parity = odd ? ~std::uint64_t{0} : 0;  // of the quotes before the block, in every bit
    std::uint64_t lastCr = 0;  // the byte before the block is a CR
    // A line of up to 64 bytes is copied by 64 bytes, which may lie up to 64 bytes past the block.
    for (std::size_t block = start; block + 128 <= count; block += 64) {
        std::uint64_t quotes, crs, lfs;
        TBlock::Masks(in + block, quotes, crs, lfs);
        const std::uint64_t ends = (crs | lfs) & ~(lfs & (crs << 1 | lastCr));  // an LF after a CR is part of its end
        lastCr = crs >> 63;
        const std::uint64_t odds = PrefixXor(quotes) ^ parity;  // bit i: the quotes up to byte i are odd
        parity = odds >> 63 ? ~std::uint64_t{0} : 0;
        for (std::uint64_t each = ends; each != 0; each &= each - 1) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctzll(each));
            const std::size_t end = block + bit;
            const std::size_t length = end - start;
            if (room - o < length + 64 + kStoredLineEnd) goto rest;
            TBlock::Copy(out + o, in + start, length);
            o += length;
            const unsigned lineOdd = static_cast<unsigned>(odds >> bit & 1);
            TBlock::Copy64(out + o, lineEnds[lineOdd]);
            o += lineEndSizes[lineOdd];
            start = end + 1 + (in[end] == '\r' && in[end + 1] == '\n');
            odd = lineOdd != 0;
            inLine = false;
            ++ended;
        }
    }
rest:
    // From the start of the line now being copied, the plain way.
    TLineState rest{odd, inLine, skipLf, ended};
    const std::size_t taken = start + CopyLinesPlain(in + start, count - start, out + o, room - o, recordLineEnd, rest, o);
    state = rest;
    written += o;
    return taken;
}

// Plain: one unit or byte at a time. -------------------------------------------------------------

std::size_t EncodeUnitsPlain(const char16_t* units, std::size_t count, char* out, const std::uint32_t* table, bool,
                             std::size_t& written) {
    std::size_t i = 0;
    char* o = out;
    for (; i < count; ++i) {
        const std::uint32_t entry = table[units[i]];
        if (!unit_bytes::Ready(entry)) break;
        std::memcpy(o, &entry, 4);  // little-endian: the bytes first
        o += unit_bytes::Count(entry);
    }
    written += static_cast<std::size_t>(o - out);
    return i;
}

// UTF-16 by the table 16 units at a time, a block of ASCII at once with TBlock's vector
// instructions. Inlined into each variant, so that it is compiled for that variant's instructions.
template <class TBlock>
inline __attribute__((always_inline)) std::size_t EncodeUnitsBy16(const char16_t* units, std::size_t count, char* out,
                                                                  const std::uint32_t* table, bool ascii,
                                                                  std::size_t& written) {
    std::size_t i = 0;
    char* o = out;
    while (i + 16 <= count) {
        if (ascii && TBlock::Narrow16(units + i, o)) {
            i += 16;
            o += 16;
            continue;
        }
        for (const std::size_t end = i + 16; i < end; ++i) {
            const std::uint32_t entry = table[units[i]];
            if (!unit_bytes::Ready(entry)) goto done;
            std::memcpy(o, &entry, 4);  // little-endian: the bytes first
            o += unit_bytes::Count(entry);
        }
    }
    written += static_cast<std::size_t>(o - out);
    return i + EncodeUnitsPlain(units + i, count - i, o, table, ascii, written);
done:
    written += static_cast<std::size_t>(o - out);
    return i;
}

std::size_t AsciiRunPlain(const unsigned char* bytes, std::size_t count) {
    std::size_t run = 0;
    while (run < count && bytes[run] < 0x80) ++run;
    return run;
}

// One character at a time; a window of 64 bytes is written out and then kept or not, as the
// vector variants do.
std::size_t EncodeUtf8Plain(const unsigned char* in, std::size_t count, char* out, const std::uint32_t* table,
                            std::size_t& written) {
    std::size_t at = 0, o = 0;
    while (at + 128 <= count) {
        std::size_t p = at, to = o;
        while (p < at + 64) {
            const unsigned byte = in[p];
            if (byte < 0x80) {
                out[to++] = static_cast<char>(byte);
                ++p;
                continue;
            }
            const std::uint32_t word = in[p] | in[p + 1] << 8 | in[p + 2] << 16;
            const std::uint32_t unit = Utf8Unit3(word);
            const std::uint32_t entry = table[unit];
            if ((byte & 0xF0) != 0xE0 || (word & 0xC0C000) != 0x808000 || unit < 0x800 || !unit_bytes::Ready(entry)) break;
            for (std::size_t k = 0; k < unit_bytes::Count(entry); ++k) out[to++] = static_cast<char>(entry >> (8 * k));
            p += 3;
        }
        if (p < at + 64) break;  // a character that cannot be written this way
        at = p;
        o = to;
    }
    written += o;
    return at;
}

// UTF-8 with TBlock's vector instructions: masks of the bytes of 0x80 and above, the lead bytes of
// three-byte characters and the continuation bytes show whether 64 bytes hold only ASCII and
// three-byte characters; then each character's entry is written after the ASCII before it,
// which is copied by whole vectors. A character not well-formed (overlong, or continued wrongly
// past the 64) or without a ready entry only marks the window bad. Inlined into each variant, so
// that it is compiled for that variant's instructions.
template <class TBlock>
inline __attribute__((always_inline)) std::size_t EncodeUtf8By64(const unsigned char* in, std::size_t count, char* out,
                                                                 const std::uint32_t* table, std::size_t& written) {
    std::size_t at = 0;
    char* o = out;
    while (at + 128 <= count) {
        const unsigned char* const p = in + at;
        std::uint64_t high, leads, continuations;
        TBlock::Utf8Masks(p, high, leads, continuations);
        if (high == 0) {  // ASCII
            TBlock::Copy64(o, reinterpret_cast<const char*>(p));
            at += 64;
            o += 64;
            continue;
        }
        // Each lead byte followed by two continuation bytes, and no other byte of 0x80 and above;
        // the bytes past the 64 that a character begun in the last two takes are checked here.
        if (continuations != (leads << 1 | leads << 2) || high != (leads | continuations)) break;
        std::uint32_t bad = ((leads >> 62) != 0 && (p[64] & 0xC0) != 0x80) | ((leads >> 63) != 0 && (p[65] & 0xC0) != 0x80);
        // The unit of a three-byte character beginning at each byte, by vectors. Of every character:
        // below U+0800 (overlong), or an entry not ready, sets a bit from bit 26 on in badBits.
        std::uint16_t units[64];
        TBlock::Units3(p, units);
        std::uint32_t badBits = 0;
        const unsigned char* ascii = p;  // the ASCII not yet copied begins here
        char* to = o;
        for (std::uint64_t each = leads; each != 0; each &= each - 1) {
            const unsigned offset = static_cast<unsigned>(__builtin_ctzll(each));
            const unsigned char* const lead = p + offset;
            TBlock::CopyShort(to, reinterpret_cast<const char*>(ascii), static_cast<std::size_t>(lead - ascii));
            to += lead - ascii;
            const std::uint32_t unit = units[offset];
            const std::uint32_t entry = table[unit];
            badBits |= (entry - 1) | (unit - 0x800);  // see unit_bytes::Ready: no entry has bit 26
            std::memcpy(to, &entry, 4);  // little-endian: the bytes first
            to += unit_bytes::Count(entry);
            ascii = lead + 3;
        }
        bad |= badBits >> 26;
        if (bad) break;
        const unsigned char* const end = std::max(p + 64, ascii);  // a character begun in the last bytes ends past them
        TBlock::CopyShort(to, reinterpret_cast<const char*>(ascii), static_cast<std::size_t>(end - ascii));
        to += end - ascii;
        at = static_cast<std::size_t>(end - in);
        o = to;
    }
    written += static_cast<std::size_t>(o - out);
    return at;
}

// SSE2: 16 bytes at a time. ----------------------------------------------------------------------

struct TBlockSse2 {
    // 16 units stored as 16 bytes where all are below 0x80; false, and nothing stored, else.
    static bool Narrow16(const char16_t* units, char* out) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 8));
        const __m128i high = _mm_and_si128(_mm_or_si128(first, second), _mm_set1_epi16(static_cast<short>(0xFF80)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(high, _mm_setzero_si128())) != 0xFFFF) return false;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(first, second));
        return true;
    }
    static void Masks(const char* bytes, std::uint64_t& quotes, std::uint64_t& crs, std::uint64_t& lfs) {
        quotes = crs = lfs = 0;
        for (unsigned part = 0; part < 4; ++part) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
            const auto mask = [&](char c) {
                return std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8(c))))} << (16 * part);
            };
            quotes |= mask('"');
            crs |= mask('\r');
            lfs |= mask('\n');
        }
    }
    // Copies count bytes by 16 at a time: up to 15 past them are read and written.
    static void Copy(char* out, const char* in, std::size_t count) {
        for (std::size_t i = 0; i < count; i += 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)));
        }
    }
    static void Copy64(char* out, const char* in) { Copy(out, in, 64); }
    // Copies up to 64 bytes by 16 at a time: up to 15 past them are read and written.
    static void CopyShort(char* out, const char* in, std::size_t count) {
        Copy(out, in, 16);
        if (count > 16) Copy(out + 16, in + 16, count - 16);
    }
    // Of the 64 bytes, each byte's unit as the lead byte of a three-byte character, well-formed or
    // not: loads shifted by a byte give the 16-bit lanes of even and of odd bytes. 67 bytes are read.
    static void Units3(const unsigned char* bytes, std::uint16_t units[64]) {
        for (unsigned at = 0; at < 64; at += 16) {
            __m128i lanes[2];  // [odd]: of the bytes at even and at odd offsets
            for (unsigned odd = 0; odd < 2; ++odd) {
                const __m128i lead = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at + odd));
                const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at + odd + 2));
                lanes[odd] = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(lead, 12), _mm_and_si128(_mm_srli_epi16(lead, 2), _mm_set1_epi16(0x0FC0))),
                                          _mm_and_si128(last, _mm_set1_epi16(0x3F)));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(units + at), _mm_unpacklo_epi16(lanes[0], lanes[1]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(units + at + 8), _mm_unpackhi_epi16(lanes[0], lanes[1]));
        }
    }
    static void Utf8Masks(const unsigned char* bytes, std::uint64_t& high, std::uint64_t& leads, std::uint64_t& continuations) {
        high = leads = continuations = 0;
        for (unsigned part = 0; part < 4; ++part) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
            const auto mask = [&](__m128i in) { return std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(in))} << (16 * part); };
            high |= mask(x);
            leads |= mask(_mm_cmpeq_epi8(_mm_and_si128(x, _mm_set1_epi8(-16)), _mm_set1_epi8(-32)));  // 0xF0, 0xE0
            continuations |= mask(_mm_cmpeq_epi8(_mm_and_si128(x, _mm_set1_epi8(-64)), _mm_set1_epi8(-128)));  // 0xC0, 0x80
        }
    }
};

std::size_t CopyLinesSse2(const char* in, std::size_t count, char* out, std::size_t room, std::string_view recordLineEnd,
                          TLineState& state, std::size_t& written) {
    return CopyLinesBy64<TBlockSse2>(in, count, out, room, recordLineEnd, state, written);
}

std::size_t EncodeUnitsSse2(const char16_t* units, std::size_t count, char* out, const std::uint32_t* table, bool ascii,
                            std::size_t& written) {
    return EncodeUnitsBy16<TBlockSse2>(units, count, out, table, ascii, written);
}

std::size_t EncodeUtf8Sse2(const unsigned char* in, std::size_t count, char* out, const std::uint32_t* table,
                           std::size_t& written) {
    return EncodeUtf8By64<TBlockSse2>(in, count, out, table, written);
}

std::size_t AsciiRunSse2(const unsigned char* bytes, std::size_t count) {
    std::size_t run = 0;
    for (; run + 16 <= count; run += 16) {
        const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + run))));
        if (high != 0) return run + static_cast<unsigned>(__builtin_ctz(high));
    }
    return run + AsciiRunPlain(bytes + run, count - run);
}

// AVX2: 32 bytes at a time. ----------------------------------------------------------------------

struct TBlockAvx2 {
    // As TBlockSse2::Narrow16, the 16 units in one vector.
    __attribute__((target("avx2"))) static bool Narrow16(const char16_t* units, char* out) {
        const __m256i both = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(units));
        if (!_mm256_testz_si256(both, _mm256_set1_epi16(static_cast<short>(0xFF80)))) return false;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_packus_epi16(_mm256_castsi256_si128(both), _mm256_extracti128_si256(both, 1)));
        return true;
    }
    __attribute__((target("avx2"))) static void Masks(const char* bytes, std::uint64_t& quotes, std::uint64_t& crs,
                                                      std::uint64_t& lfs) {
        quotes = crs = lfs = 0;
        for (unsigned part = 0; part < 2; ++part) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * part));
            const unsigned shift = 32 * part;
            quotes |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(x, _mm256_set1_epi8('"'))))} << shift;
            crs |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(x, _mm256_set1_epi8('\r'))))} << shift;
            lfs |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(x, _mm256_set1_epi8('\n'))))} << shift;
        }
    }
    // Copies count bytes: up to 64 by two stores of 32, more by 32 at a time; up to 63 past them
    // are read and written.
    __attribute__((target("avx2"))) static void Copy(char* out, const char* in, std::size_t count) {
        if (count <= 64) {
            Copy32(out, in);
            Copy32(out + 32, in + 32);
            return;
        }
        for (std::size_t i = 0; i < count; i += 32) Copy32(out + i, in + i);
    }
    __attribute__((target("avx2"))) static void Copy32(char* out, const char* in) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)));
    }
    __attribute__((target("avx2"))) static void Copy64(char* out, const char* in) { Copy(out, in, 64); }
    // Copies up to 64 bytes by 32 at a time: up to 31 past them are read and written.
    __attribute__((target("avx2"))) static void CopyShort(char* out, const char* in, std::size_t count) {
        Copy32(out, in);
        if (count > 32) Copy32(out + 32, in + 32);
    }
    // The top bits of the 32 bytes as bits of the 64, of the part-th 32.
    __attribute__((target("avx2"))) static std::uint64_t Mask(__m256i bytes, unsigned part) {
        return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes))} << (32 * part);
    }
    // As TBlockSse2::Units3, by 32 bytes: the lanes interleave within each half of the vectors.
    __attribute__((target("avx2"))) static void Units3(const unsigned char* bytes, std::uint16_t units[64]) {
        for (unsigned at = 0; at < 64; at += 32) {
            __m256i lanes[2];
            for (unsigned odd = 0; odd < 2; ++odd) {
                const __m256i lead = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at + odd));
                const __m256i last = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at + odd + 2));
                lanes[odd] = _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(lead, 12),
                                                             _mm256_and_si256(_mm256_srli_epi16(lead, 2), _mm256_set1_epi16(0x0FC0))),
                                             _mm256_and_si256(last, _mm256_set1_epi16(0x3F)));
            }
            const __m256i low = _mm256_unpacklo_epi16(lanes[0], lanes[1]);   // bytes 0-7 and 16-23
            const __m256i high = _mm256_unpackhi_epi16(lanes[0], lanes[1]);  // bytes 8-15 and 24-31
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(units + at), _mm256_permute2x128_si256(low, high, 0x20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(units + at + 16), _mm256_permute2x128_si256(low, high, 0x31));
        }
    }
    __attribute__((target("avx2"))) static void Utf8Masks(const unsigned char* bytes, std::uint64_t& high,
                                                          std::uint64_t& leads, std::uint64_t& continuations) {
        high = leads = continuations = 0;
        for (unsigned part = 0; part < 2; ++part) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * part));
            high |= Mask(x, part);
            leads |= Mask(_mm256_cmpeq_epi8(_mm256_and_si256(x, _mm256_set1_epi8(-16)), _mm256_set1_epi8(-32)), part);  // 0xF0, 0xE0
            continuations |= Mask(_mm256_cmpeq_epi8(_mm256_and_si256(x, _mm256_set1_epi8(-64)), _mm256_set1_epi8(-128)), part);
        }
    }
};

__attribute__((target("avx2"))) std::size_t CopyLinesAvx2(const char* in, std::size_t count, char* out, std::size_t room,
                                                          std::string_view recordLineEnd, TLineState& state,
                                                          std::size_t& written) {
    return CopyLinesBy64<TBlockAvx2>(in, count, out, room, recordLineEnd, state, written);
}

__attribute__((target("avx2"))) std::size_t EncodeUnitsAvx2(const char16_t* units, std::size_t count, char* out,
                                                            const std::uint32_t* table, bool ascii, std::size_t& written) {
    return EncodeUnitsBy16<TBlockAvx2>(units, count, out, table, ascii, written);
}

__attribute__((target("avx2"))) std::size_t EncodeUtf8Avx2(const unsigned char* in, std::size_t count, char* out,
                                                           const std::uint32_t* table, std::size_t& written) {
    return EncodeUtf8By64<TBlockAvx2>(in, count, out, table, written);
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

constexpr TKernels kPlain{TKernelLevel::Plain, CopyLinesPlain, EncodeUnitsPlain, AsciiRunPlain, EncodeUtf8Plain};
constexpr TKernels kSse2{TKernelLevel::Sse2, CopyLinesSse2, EncodeUnitsSse2, AsciiRunSse2, EncodeUtf8Sse2};
constexpr TKernels kAvx2{TKernelLevel::Avx2, CopyLinesAvx2, EncodeUnitsAvx2, AsciiRunAvx2, EncodeUtf8Avx2};

bool RunsAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

}  // namespace

const TKernels& Kernels() {
    static const TKernels& best = RunsAvx2() ? kAvx2 : kSse2;
    return best;
}

std::vector<TKernelLevel> KernelLevels() {
    std::vector<TKernelLevel> levels{TKernelLevel::Plain, TKernelLevel::Sse2};
    if (RunsAvx2()) levels.push_back(TKernelLevel::Avx2);
    return levels;
}

const TKernels& KernelsOf(TKernelLevel level) {
    switch (level) {
    case TKernelLevel::Plain: return kPlain;
    case TKernelLevel::Sse2: return kSse2;
    case TKernelLevel::Avx2: return kAvx2;
    }
    return kPlain;
}

}  // namespace zarn
