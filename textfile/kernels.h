// The hot loops of reading text, each in a plain variant and in variants that use the vector
// instructions a processor may have, side by side in one unit: SSE2 (which every x86-64 processor
// has), SSSE3 and AVX2. The best variant the processor runs is chosen once, from what it reports; every
// variant gives exactly the plain one's results, and the tests run each of them over the same
// inputs. A new fast path goes here, with its plain variant. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace zarn {

enum class TKernelLevel { Plain, Sse2, Ssse3, Avx2 };

// Ranges of byte values (at most 8), each as its first value and its span (last - first); and the
// same values as tables of bits by the low nibble (nibbles: bit h of low[n] stands for the byte
// h * 16 + n, bit h of high[n] for (h + 8) * 16 + n), for lookups by byte shuffles.
struct TByteRanges {
    std::size_t count = 0;
    std::uint8_t first[8] = {};
    std::uint8_t span[8] = {};
    alignas(16) std::uint8_t low[16] = {};
    alignas(16) std::uint8_t high[16] = {};
};

// The byte values for which in(value) holds, as ranges; empty when they make more than most.
template <class TIn>
TByteRanges RangesOf(TIn in, std::size_t most = 8) {
    TByteRanges ranges;
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (!in(byte)) continue;
        if (byte > 0 && in(byte - 1)) {
            ++ranges.span[ranges.count - 1];
            continue;
        }
        if (ranges.count == most) return TByteRanges();
        ranges.first[ranges.count++] = static_cast<std::uint8_t>(byte);
    }
    for (std::size_t r = 0; r < ranges.count; ++r) {
        for (unsigned byte = ranges.first[r]; byte <= ranges.first[r] + ranges.span[r]; ++byte) {
            (byte < 128 ? ranges.low : ranges.high)[byte & 15] |= static_cast<std::uint8_t>(1u << (byte >> 4 & 7));
        }
    }
    return ranges;
}

// Where splitting text into lines has got to, carried from one piece of text to the next.
struct TLineState {
    bool odd = false;     // the double quotes since the last record end are odd in number
    bool inLine = false;  // a line has begun and not yet ended
    bool skipLf = false;  // the last line ended with CR, so an LF right after it belongs to it
};

// Of 64 bytes of double-byte text (bit i: byte i) in which leads marks the lead bytes, the trails:
// the bytes that follow a lead byte that begins a character. A lead byte that is a trail begins
// nothing, so in a run of lead bytes every second one is a trail. carry: in, whether the first
// byte is a trail (the last of the bytes before was a lead byte that began a character); out, the
// same for the next 64.
inline std::uint64_t Trails(std::uint64_t leads, std::uint64_t& carry) {
    constexpr std::uint64_t kOddBits = 0xAAAAAAAAAAAAAAAAull;
    const std::uint64_t beginning = leads & ~carry;
    // Each run of lead bytes, counted from its first: the bytes at an even distance begin a
    // character, and the one after the run is a trail when the run is odd in length.
    const std::uint64_t codes = (((beginning << 1) | kOddBits) - beginning) ^ kOddBits;
    const std::uint64_t trails = codes ^ (leads | carry);
    carry = (codes & leads) >> 63;
    return trails;
}

// What double-byte text in the ANSI code page must hold to come back from it unchanged, for
// TKernels::checkDoubleBytes. Every set holds bytes of 0x80 and above only, but plainTrails.
struct TDoubleByteSets {
    TByteRanges leads;    // the lead bytes
    TByteRanges singles;  // the other bytes of 0x80 and above that come back alone
    // Plain lead bytes, and the trails that come back after every one of them (and no other trail
    // does); a pair of another lead byte is looked up in pairs.
    TByteRanges plainLeads, plainTrails;
    const std::uint64_t* pairs = nullptr;  // 65536 bits, bit lead * 256 + trail: the pair comes back
};

// A UTF-16 unit's bytes in the ANSI code page, as an entry of a table by unit: the bytes (the
// first in the low byte) and their count in the two bits from bit 24; kNotOwnBytes where they do
// not stand for the unit alone among bytes (see TTextSink::Bytes), kByAuthority where the code
// page answers for the unit each time, and 0 where it has not been asked yet.
namespace unit_bytes {
inline constexpr unsigned kCountShift = 24;
inline constexpr std::uint32_t kCountMask = 3;
inline constexpr std::uint32_t kNotOwnBytes = 1u << 26;
inline constexpr std::uint32_t kByAuthority = 1u << 31;
inline std::size_t Count(std::uint32_t entry) { return entry >> kCountShift & kCountMask; }
// The entry's bytes may be written for the unit straight away.
inline bool Ready(std::uint32_t entry) { return entry - 1 < kNotOwnBytes - 1; }
}  // namespace unit_bytes

// A three-byte UTF-8 character's unit from its lead byte on (the bytes in the low three of word,
// the lead byte lowest), whether well-formed or not.
inline std::uint32_t Utf8Unit3(std::uint32_t word) {
    return (word & 0x0F) << 12 | (word >> 2 & 0xFC0) | (word >> 16 & 0x3F);
}

struct TKernels {
    TKernelLevel level;
    // Copies the lines of in (count bytes in the ANSI code page, in which CR, LF and the double
    // quote are those characters) to out, which has room bytes free: each line's bytes, then for
    // its end (CR LF, lone CR or lone LF) recordLineEnd where the line ends a record (the double
    // quotes since the last record end are even in number) and CR LF where not. U+0000 is a
    // character of its line. Stops where the next bytes or the next line end do not fit; returns
    // the bytes of in taken, and adds the bytes written to written.
    std::size_t (*copyLines)(const char* in, std::size_t count, char* out, std::size_t room,
                             std::string_view recordLineEnd, TLineState& state, std::size_t& written);
    // The first CR or LF at or after pos in text of count units (count when there is none),
    // flipping odd for every double quote before it.
    std::size_t (*scanUnits)(const char16_t* text, std::size_t pos, std::size_t count, bool& odd);
    // The length of the run of bytes below 0x80 (ASCII) that bytes begins with, of at most count.
    std::size_t (*asciiRun)(const unsigned char* bytes, std::size_t count);
    // Checks double-byte text 64 bytes at a time while more than 64 bytes are left: every byte of
    // 0x80 and above that stands alone is one of sets.singles, and every pair (a lead byte that
    // begins a character and the byte after it, which may lie past the 64) comes back. Returns
    // the bytes checked, a multiple of 64: it stops before the first 64 bytes in which a character
    // does not come back. carry: as for Trails, of the bytes checked.
    std::size_t (*checkDoubleBytes)(const unsigned char* bytes, std::size_t count, const TDoubleByteSets& sets,
                                    std::uint64_t& carry);
    // UTF-8 into the ANSI code page, where ASCII is written as itself, 64 bytes at a time while 128
    // or more are left: the characters that begin in the 64 bytes are all ASCII or well-formed
    // three-byte characters whose entries in table (by unit, see unit_bytes; no surrogate's is
    // ready) are ready. Stops before the first 64 bytes that hold anything else; returns the bytes
    // taken (whole characters), and adds the bytes written to out to written. out has as many
    // bytes writable as in has readable (no character gives more bytes than it has), and bytes
    // past those written may be overwritten.
    std::size_t (*encodeUtf8)(const unsigned char* in, std::size_t count, char* out, const std::uint32_t* table,
                              std::size_t& written);
};

// The best kernels this processor runs, chosen at the first call.
const TKernels& Kernels();

// Every level this processor runs, the plain one first.
std::vector<TKernelLevel> KernelLevels();

// The kernels of a level this processor runs.
const TKernels& KernelsOf(TKernelLevel level);

}  // namespace zarn
