// The hot loops of reading text, each in a plain variant and in variants that use the vector
// instructions a processor may have, side by side in one unit: SSE2 (which every x86-64 processor
// has) and AVX2. The best variant the processor runs is chosen once, from what it reports; every
// variant gives exactly the plain one's results, and the tests run each of them over the same
// inputs. A new fast path goes here, with its plain variant. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace zarn {

enum class TKernelLevel { Plain, Sse2, Avx2 };

// Where splitting text into lines has got to, carried from one piece of text to the next.
struct TLineState {
    bool odd = false;     // the double quotes since the last record end are odd in number
    bool inLine = false;  // a line has begun and not yet ended
    bool skipLf = false;  // the last line ended with CR, so an LF right after it belongs to it
    std::uint64_t lineEnds = 0;  // the lines ended so far
};

// A UTF-16 unit's bytes in the ANSI code page, as an entry of a table by unit: the bytes (the
// first in the low byte) and their count in the two bits from bit 24; kReplaced where the code
// page replaces the unit (TCodePage::Replaces), kByAuthority where the code page answers for the
// unit each time, and 0 where it has not been asked yet. No other bit is set.
namespace unit_bytes {
inline constexpr unsigned kCountShift = 24;
inline constexpr std::uint32_t kCountMask = 3;
inline constexpr std::uint32_t kReplaced = 1u << 27;
inline constexpr std::uint32_t kByAuthority = 1u << 31;
inline std::size_t Count(std::uint32_t entry) { return entry >> kCountShift & kCountMask; }
// The entry's bytes may be written for the unit straight away: asked, not replaced, not the
// authority's.
inline bool Ready(std::uint32_t entry) { return entry - 1 < kReplaced - 1; }
}  // namespace unit_bytes

// A three-byte UTF-8 character's unit from its lead byte on (the bytes in the low three of word,
// the lead byte lowest), whether well-formed or not.
inline std::uint32_t Utf8Unit3(std::uint32_t word) {
    return (word & 0x0F) << 12 | (word >> 2 & 0xFC0) | (word >> 16 & 0x3F);
}

struct TKernels {
    TKernelLevel level;
    // Copies the lines of in (count bytes in the ANSI code page, in which CR, LF and the double
    // quote are those characters, see TTextSink) to out, which has room bytes free: each line's bytes, then for
    // its end (CR LF, lone CR or lone LF) recordLineEnd where the line ends a record (the double
    // quotes since the last record end are even in number) and CR LF where not. U+0000 is a
    // character of its line. Counts the line ends in state. Stops where the next bytes or the next
    // line end do not fit; returns the bytes of in taken, and adds the bytes written to written.
    std::size_t (*copyLines)(const char* in, std::size_t count, char* out, std::size_t room,
                             std::string_view recordLineEnd, TLineState& state, std::size_t& written);
    // UTF-16 into the ANSI code page by a table (by unit, see unit_bytes): units in order, of at
    // most count, while their entries are ready, each unit's bytes stored as a word of four; where
    // ascii (every unit below 0x80 is written as that byte alone), 16 units of ASCII at a time by
    // vectors. Returns the units taken, and adds the bytes written to written. out has room for
    // three bytes past the bytes of the units taken.
    std::size_t (*encodeUnits)(const char16_t* units, std::size_t count, char* out, const std::uint32_t* table, bool ascii,
                               std::size_t& written);
    // The length of the run of bytes below 0x80 (ASCII) that bytes begins with, of at most count.
    std::size_t (*asciiRun)(const unsigned char* bytes, std::size_t count);
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
