// Streaming text files: bytes in, UTF-16 text through, bytes out, in pieces of bounded size.
// Platform-free: file access and code-page conversion are behind the interfaces below.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "textfile/encoding.h"

namespace zarn {

// Where the bytes of a file come from. Read returns 0 only at the end; failures throw TFailure.
class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual std::size_t Read(char* buffer, std::size_t capacity) = 0;
};

// Where the bytes of a file go. Failures throw TFailure.
class TByteSink {
public:
    virtual ~TByteSink() = default;
    virtual void Write(const char* bytes, std::size_t count) = 0;
};

// Receives the decoded text of a file in order. Text and Ascii return false once the text has
// ended (a U+0000): nothing more is sent then. Ascii bytes stand for the same UTF-16 units.
class TTextSink {
public:
    virtual ~TTextSink() = default;
    virtual bool Text(std::u16string_view text) = 0;
    virtual bool Ascii(std::string_view bytes) = 0;
    virtual void End() = 0;
};

// The size of the pieces in which files are read and written.
inline constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

// Reads a whole text file: the byte order mark picks UTF-16LE, UTF-16BE or UTF-8 (utf8, strict),
// anything else is in the ANSI code page (ansi). The mark is not part of the text. The source is
// read to its end even after the text has ended, so that a failing read or malformed UTF-8 later
// in the file is still raised.
void ReadText(TByteSource& source, TCodePage& ansi, TCodePage& utf8, TTextSink& sink,
              std::size_t pieceBytes = kPieceBytes);

// Writes text in the ANSI code page into a sink, in pieces. A high surrogate at the end of a
// piece of text waits for the next piece, so a pair is always encoded whole.
class TTextWriter {
public:
    TTextWriter(TCodePage& ansi, TByteSink& sink, std::size_t pieceBytes = kPieceBytes);
    void Text(std::u16string_view text);
    void Ascii(std::string_view bytes);     // bytes below 0x80
    void Encoded(std::string_view bytes);   // bytes already in the ANSI code page
    void Finish();                          // writes out everything held

private:
    void FlushSurrogate();
    void EncodePiece(std::u16string_view text);
    void Room(std::size_t bytes);
    void Flush();

    TCodePage& ansi_;
    TByteSink& sink_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    char16_t heldSurrogate_ = 0;  // 0: none held
};

}  // namespace zarn
