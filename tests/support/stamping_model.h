// A plain whole-file model of stamping, to check the streaming pipeline against: read the whole
// file, decode it in one piece (a file without a byte order mark: keep its bytes), split it into
// a line list, stamp, join with CR LF, encode in one piece. Also the generator of inputs for such
// comparisons.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "textfile/encoding.h"

namespace zarn::testing {

// changes: where given, the characters of the text that ansi replaces, with the line of the
// first, and whether a last odd byte of UTF-16 was left out.
std::string ModelStamp(const std::string& file, TCodePage& ansi, TCodePage& utf8, std::u16string_view stamp,
                       TTextChanges* changes = nullptr);

// Random file contents rich in what matters: quotes, CR, LF, NUL, commas, byte order marks,
// double-byte lead bytes, UTF-8 sequences and surrogates.
std::string GenerateFile(std::mt19937& random);

// A file of ASCII records after prefix up to offset, then bytes beginning one byte before offset
// (so that they lie across a block or piece end there), then a record with a quoted line break.
std::string AcrossOffset(std::string prefix, std::size_t offset, const std::string& bytes);

}  // namespace zarn::testing
