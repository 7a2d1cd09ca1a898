// Encodings of text files: byte order marks, code pages and where a byte stream may be cut.
// Platform-free: the conversions themselves are behind TCodePage, implemented by the platform.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zarn {

enum class TEncoding { Ansi, Utf16Le, Utf16Be, Utf8 };

// The most bytes carried from one piece of a file to the next: an odd byte of UTF-16, the bytes of
// UTF-8 after the last cut, or what follows the last whole character of a double-byte code page.
inline constexpr std::size_t kCarryBytes = 256;

struct TBom {
    TEncoding encoding;
    std::size_t size;  // bytes of the mark, skipped before decoding
};

// The first mark the bytes begin with, in the order FF FE, FE FF, EF BB BF; else ANSI with size 0.
TBom DetectBom(std::string_view bytes);

// How the bytes of a code page form characters, for cutting a stream between characters.
struct TCodePageShape {
    enum class TKind { SingleByte, DoubleByte, Utf8 } kind = TKind::SingleByte;
    std::array<bool, 256> leadByte{};  // DoubleByte: bytes that take the next non-zero byte with them
};

// The length of a prefix of bytes (which begin at a character boundary) that ends at a character
// boundary, leaving at most kCarryBytes bytes; the rest is carried over to the next piece. In
// UTF-8 at least three bytes are left (see TReader). At the end of the input the caller decodes
// whatever is left.
std::size_t WholeCharacterBytes(const TCodePageShape& shape, std::string_view bytes);

// True when every byte is below 0x80 (the same characters in every ANSI code page).
bool IsAscii(std::string_view bytes);

// Conversions of one code page, provided by the platform. Both take whole characters only.
class TCodePage {
public:
    virtual ~TCodePage() = default;
    virtual const TCodePageShape& Shape() const = 0;
    // Decodes bytes into out, which has room for bytes.size() units (no byte gives more than one
    // unit). Returns the units written. Throws TFailure where the code page is strict and the
    // bytes are not well-formed.
    virtual std::size_t Decode(std::string_view bytes, char16_t* out) = 0;
    // The most bytes one UTF-16 unit can become.
    virtual std::size_t MaxBytesPerUnit() const = 0;
    // Encodes text into out, which has room for text.size() * MaxBytesPerUnit() bytes.
    // Returns the bytes written.
    virtual std::size_t Encode(std::u16string_view text, char* out) = 0;
};

// The reference of the round-trip check: true when whole characters of a single- or double-byte
// code page come back as the same bytes when decoded and encoded again, and no byte below 0x40 is
// the trail of a lead byte. Such bytes can be written out as they are, and every quote, CR, LF and
// zero among them is a character of its own. Found by decoding and encoding.
bool RoundTripsByConversion(TCodePage& codePage, std::string_view bytes);

// The ANSI code page's fast paths: answers that let text go on as bytes, without being decoded and
// encoded, exactly as decoding and encoding would give them (see TTextSink::Bytes). Each may
// decline; then the text is decoded and encoded.
class TAnsiFastPaths {
public:
    // As RoundTripsByConversion, or false.
    virtual bool RoundTrips(std::string_view bytes) = 0;
    // Of well-formed UTF-8 below U+10000: the bytes in the ANSI code page, the same as decoding and
    // encoding, where they may go on as bytes: no character above U+007F gives a CR, LF, NUL or
    // double quote, or a byte below 0x40 within more bytes. Nothing otherwise. out has room for
    // bytes.size() bytes.
    virtual std::optional<std::size_t> EncodeUtf8(std::string_view bytes, char* out) = 0;

protected:
    ~TAnsiFastPaths() = default;
};

// No fast path: every text is decoded and encoded.
class TNoFastPaths final : public TAnsiFastPaths {
public:
    bool RoundTrips(std::string_view) override { return false; }
    std::optional<std::size_t> EncodeUtf8(std::string_view, char*) override { return std::nullopt; }
};

// No byte below 0x40 is the trail of a lead byte, and no lead byte is without its trail.
bool HasPlainTrails(const TCodePageShape& shape, std::string_view bytes);

inline bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace zarn
