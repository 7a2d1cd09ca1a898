// Code pages for the tests, standing in for the platform's converters.
#pragma once

#include <string>

#include "textfile/encoding.h"

namespace zarn::testing {

// Latin-1 with best fits (the typographic single quotes to an apostrophe; the fullwidth quotation
// mark, the modifier letter double prime and the combining double vertical line above to a double
// quote and the fullwidth comma to a comma, as code page 1252 has them, which the rule of record
// marks turns into "?") and "?" for anything else.
class TLatin1CodePage final : public TCodePage {
public:
    bool IsUtf8() const override { return false; }
    std::size_t Decode(std::string_view bytes, char16_t* out) override;
    std::size_t MaxBytesPerUnit() const override { return 1; }
    std::size_t Encode(std::u16string_view text, char* out) override;
    bool Replaces(std::u16string_view character) override { return ReplacedByConversion(*this, character); }
};

// A double-byte code page shaped like the East Asian ones: lead bytes 81-9F and E0-FC take the
// next non-zero byte as their trail, whatever it is; a lead byte without one becomes U+30FB. A
// character whose trail byte would be a record mark is written as "?" (EncodeKeepingRecords).
class TDoubleByteCodePage final : public TCodePage {
public:
    bool IsUtf8() const override { return false; }
    std::size_t Decode(std::string_view bytes, char16_t* out) override;
    std::size_t MaxBytesPerUnit() const override { return 2; }
    std::size_t Encode(std::u16string_view text, char* out) override;
    bool Replaces(std::u16string_view character) override { return ReplacedByConversion(*this, character); }

private:
    static bool IsLead(unsigned byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }
};

// UTF-8: strict (a malformed buffer throws TFailure with the text "bad UTF-8") or lenient
// (each byte of a malformed sequence becomes U+FFFD, but a three- or four-byte sequence cut by the
// end of the bytes becomes one U+FFFD with whatever follows it there, as the platform does).
class TUtf8CodePage final : public TCodePage {
public:
    explicit TUtf8CodePage(bool strict) : strict_(strict) {}
    bool IsUtf8() const override { return true; }
    std::size_t Decode(std::string_view bytes, char16_t* out) override;
    std::size_t MaxBytesPerUnit() const override { return 3; }
    std::size_t Encode(std::u16string_view text, char* out) override;
    bool Replaces(std::u16string_view character) override { return ReplacedByConversion(*this, character); }

private:
    bool strict_;
};

}  // namespace zarn::testing
