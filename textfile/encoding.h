// Encodings of text files: byte order marks, code pages and where a byte stream may be cut.
// Platform-free: the conversions themselves are behind TCodePage, implemented by the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zarn {

enum class TEncoding { Ansi, Utf16Le, Utf16Be, Utf8 };

// The most bytes carried from one piece of a file to the next: an odd byte of UTF-16, or the
// bytes of UTF-8 after the last cut.
inline constexpr std::size_t kCarryBytes = 256;

struct TBom {
    TEncoding encoding;
    std::size_t size;  // bytes of the mark, skipped before decoding
};

// The first mark the bytes begin with, in the order FF FE, FE FF, EF BB BF; else ANSI with size 0.
TBom DetectBom(std::string_view bytes);

// The length of a prefix of UTF-8 bytes (which begin at a character boundary) that ends at a
// character boundary, with at least three bytes left after it (see TReader), and at most
// kCarryBytes; the rest is carried over to the next piece. At the end of the input the caller
// decodes whatever is left.
std::size_t WholeUtf8Bytes(std::string_view bytes);

// True when every byte is below 0x80 (the same characters in every ANSI code page).
bool IsAscii(std::string_view bytes);

// The characters that writing text in a code page replaced: those it writes as something that
// does not read back as themselves (its default character, or a best-fit substitute).
struct TReplacements {
    std::uint64_t count = 0;
    std::u16string first;       // the first of them: one unit, or a surrogate pair
    std::size_t at = 0;         // where the first's bytes begin in the output of the encoding that counted it
    std::uint64_t line = 0;     // the line of the first, from 1, where the stamper tells it; else 0
};

// What writing a file's text in the ANSI code page could not keep: the characters replaced, and a
// last byte of UTF-16 text that is no whole unit, left out.
struct TTextChanges {
    TReplacements replaced;
    bool lastByteLeftOut = false;
};

// Conversions of one code page, provided by the platform. Both take whole characters only.
class TCodePage {
public:
    virtual ~TCodePage() = default;
    virtual bool IsUtf8() const = 0;
    // Decodes bytes into out, which has room for bytes.size() units (no byte gives more than one
    // unit). Returns the units written. Throws TFailure where the code page is strict and the
    // bytes are not well-formed.
    virtual std::size_t Decode(std::string_view bytes, char16_t* out) = 0;
    // The most bytes one UTF-16 unit can become.
    virtual std::size_t MaxBytesPerUnit() const = 0;
    // Encodes text into out, which has room for text.size() * MaxBytesPerUnit() bytes.
    // Returns the bytes written. Only a record mark is written as a record mark's byte (see
    // EncodeKeepingRecords).
    virtual std::size_t Encode(std::u16string_view text, char* out) = 0;
    // True when the code page replaces the character (one unit, or a surrogate pair) as Encode
    // writes it; a character written as another name of the same character (JisNames) is not
    // replaced.
    virtual bool Replaces(std::u16string_view character) = 0;
};

// The reference of Replaces: the character alone encoded and decoded again does not give itself.
bool ReplacedByConversion(TCodePage& codePage, std::u16string_view character);

// The characters that mark records and fields: the double quote, the comma, CR, LF and NUL.
inline bool IsRecordMark(char16_t unit) {
    return unit == u'"' || unit == u',' || unit == u'\r' || unit == u'\n' || unit == u'\0';
}

// Each character of text, one unit or a surrogate pair (a lone surrogate is a character), to
// each(character); stops where each returns false.
template <class TEach>
void ForEachCharacter(std::u16string_view text, TEach each) {
    for (std::size_t i = 0; i < text.size();) {
        const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                          text[i + 1] <= 0xDFFF;
        const std::size_t length = pair ? 2 : 1;
        if (!each(text.substr(i, length))) return;
        i += length;
    }
}

// Text encoded by convert (a code page's own conversion of whole characters: (text, out) gives the
// bytes written to out) so that no substitute changes a record: a character that is no record mark
// but that convert writes with a record mark's byte (a best fit such as U+FF02 to a double quote)
// is written as defaultCharacter instead. out as for TCodePage::Encode; defaultCharacter holds at
// most MaxBytesPerUnit bytes. No byte of a record mark is part of another character in an ANSI
// code page, so one count of those bytes tells whether any character needs another look.
template <class TConvert>
std::size_t EncodeKeepingRecords(std::u16string_view text, char* out, std::string_view defaultCharacter,
                                 TConvert convert) {
    const auto markBytes = [](const char* bytes, std::size_t count) {
        std::size_t marks = 0;
        for (std::size_t i = 0; i < count; ++i) marks += IsRecordMark(static_cast<unsigned char>(bytes[i]));
        return marks;
    };
    const std::size_t count = convert(text, out);
    std::size_t markUnits = 0;
    for (const char16_t unit : text) markUnits += IsRecordMark(unit);
    if (markBytes(out, count) == markUnits) return count;
    char* o = out;
    ForEachCharacter(text, [&](std::u16string_view character) {
        const std::size_t bytes = convert(character, o);
        if (!(character.size() == 1 && IsRecordMark(character[0])) && markBytes(o, bytes) != 0) {
            std::memcpy(o, defaultCharacter.data(), defaultCharacter.size());
            o += defaultCharacter.size();
        } else {
            o += bytes;
        }
        return true;
    });
    return static_cast<std::size_t>(o - out);
}

// A character that Shift-JIS holds under another name: the JIS X 0208 character that text from
// other systems writes as unit, and its bytes in code page 932, whose platform table reads them
// as another unit of the same name.
struct TJisName {
    char16_t unit;
    char bytes[2];
};

// Such characters of a code page: those of code page 932 (wave dash, double vertical line, minus
// sign, em dash, cent, pound and not sign); none elsewhere.
std::span<const TJisName> JisNames(unsigned codePage);

// Writing text in the ANSI code page: UTF-16, and UTF-8 straight into it where that can be done
// as bytes.
class TAnsiEncoder {
public:
    virtual std::size_t MaxBytesPerUnit() const = 0;
    // As TCodePage::Encode; adds the characters replaced to replaced (not its line; where it
    // counts the first, where its bytes begin in out). A surrogate pair is encoded whole only when
    // both its units are in one call.
    virtual std::size_t Encode(std::u16string_view text, char* out, TReplacements& replaced) = 0;
    // Of well-formed UTF-8 below U+10000 of which the ANSI code page replaces no character: the
    // bytes in the ANSI code page, the same as decoding and encoding. Nothing otherwise. out has
    // room for bytes.size() bytes.
    virtual std::optional<std::size_t> EncodeUtf8(std::string_view bytes, char* out) = 0;

protected:
    ~TAnsiEncoder() = default;
};

// No fast path: every text is encoded by the code page, and each character asked whether the code
// page replaces it.
class TPlainAnsiEncoder final : public TAnsiEncoder {
public:
    explicit TPlainAnsiEncoder(TCodePage& codePage) : codePage_(codePage) {}
    std::size_t MaxBytesPerUnit() const override { return codePage_.MaxBytesPerUnit(); }
    std::size_t Encode(std::u16string_view text, char* out, TReplacements& replaced) override;
    std::optional<std::size_t> EncodeUtf8(std::string_view, char*) override { return std::nullopt; }

private:
    TCodePage& codePage_;
};

// Counts a replaced character into replaced; at: where its bytes begin in the output.
inline void AddReplaced(TReplacements& replaced, std::u16string_view character, std::size_t at = 0) {
    if (replaced.count++ != 0) return;
    replaced.first = std::u16string(character);
    replaced.at = at;
}

inline bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace zarn
