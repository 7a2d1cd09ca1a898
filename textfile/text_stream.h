// Streaming text files: bytes in, bytes of the ANSI code page through, bytes out, in pieces of
// bounded size. Platform-free: file access and code-page conversion are behind the interfaces
// below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "textfile/encoding.h"
#include "textfile/kernels.h"

namespace zarn {

// Work on the bytes of a read: TReader decodes a piece of the file there.
class TPieceWork {
public:
    // count: the bytes read (0 at the end). Never throws: a failure is kept for the caller.
    virtual void Run(std::size_t count) noexcept = 0;

protected:
    ~TPieceWork() = default;
};

// Where the bytes of a file come from, in order. Read returns 0 only at the end; failures throw
// TFailure. ReadAhead names the buffer of the next Read, and work to run on what is read into it:
// the source may fill the buffer at once and then run the work, both on a thread of its own, so
// neither the buffer nor the work may be touched until that Read or Settle has returned. The
// work runs at most once, only after a read ahead into its buffer succeeded and before the Read
// of that buffer returns; a source that did not read ahead leaves it undone. A failure of the read
// ahead is raised by that Read.
class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual std::size_t Read(char* buffer, std::size_t capacity) = 0;
    virtual void ReadAhead(char* /*buffer*/, std::size_t /*capacity*/, TPieceWork* /*work*/) noexcept {}
    // Returns once the source no longer fills any buffer given to it.
    virtual void Settle() noexcept {}
};

// How many Writes a sink may go on reading the bytes of after they return.
inline constexpr std::size_t kWritesBehind = 3;

// Where the bytes of a file go, in order. Failures throw TFailure. A sink may go on reading the
// bytes of a Write after it returns (writing them in the background): they must stay unchanged
// until kWritesBehind more Writes, or Settle, have returned.
class TByteSink {
public:
    virtual ~TByteSink() = default;
    virtual void Write(const char* bytes, std::size_t count) = 0;
    // Returns once the sink no longer reads any bytes given to it. Never throws: a failure is
    // raised by the sink's next operation.
    virtual void Settle() noexcept {}
};

// Receives the whole text of a file in order, as bytes in the ANSI code page in which every CR,
// LF, double quote and zero byte is that character of the text: a file without a byte order mark
// byte for byte, any other with its text encoded (no character but those gives their bytes, see
// EncodeKeepingRecords).
class TTextSink {
public:
    virtual ~TTextSink() = default;
    virtual void Bytes(std::string_view bytes) = 0;
    // The next bytes begin the file's first character that the ANSI code page replaced.
    virtual void FirstReplacedNext() = 0;
    virtual void End() = 0;
};

// Copies count bytes; quick for the short runs between line ends, where a library call would
// cost more than the copy.
inline void CopyBytes(char* out, const char* in, std::size_t count) {
    auto copy8 = [](char* to, const char* from) {
        std::uint64_t word;
        std::memcpy(&word, from, 8);
        std::memcpy(to, &word, 8);
    };
    if (count >= 16) {
        if (count > 512) {
            std::memcpy(out, in, count);
            return;
        }
        std::size_t i = 0;
        for (; i + 16 <= count; i += 16) {
            copy8(out + i, in + i);
            copy8(out + i + 8, in + i + 8);
        }
        if (i < count) {  // the last 16 bytes again, overlapping what was copied
            copy8(out + count - 16, in + count - 16);
            copy8(out + count - 8, in + count - 8);
        }
    } else if (count >= 8) {
        copy8(out, in);
        copy8(out + count - 8, in + count - 8);
    } else if (count >= 4) {
        std::uint32_t first, last;
        std::memcpy(&first, in, 4);
        std::memcpy(&last, in + count - 4, 4);
        std::memcpy(out, &first, 4);
        std::memcpy(out + count - 4, &last, 4);
    } else if (count > 0) {
        out[0] = in[0];
        out[count / 2] = in[count / 2];
        out[count - 1] = in[count - 1];
    }
}

// The size of the pieces in which files are read and written: small enough that the buffers of
// a run stay few pages (each first touch of a page costs), large enough that handing pieces
// between threads costs little.
inline constexpr std::size_t kPieceBytes = std::size_t{1} << 18;

// The code pages that one thread decodes and encodes with: UTF-8 after its mark, and the ANSI
// code page that text is encoded in.
struct TDecodingCodePages {
    TAnsiEncoder& ansi;
    TCodePage& utf8;
};

// The code pages of reading a file: here for the pieces decoded on the caller's thread (whose
// ANSI code page also encodes the stamp), ahead for those decoded on the source's thread where it
// reads ahead. Both sets are used at once: objects that cache answers (TCachedCodePage) must be
// distinct, while one object may serve both where it keeps no state.
struct TReadingCodePages {
    TDecodingCodePages here;
    TDecodingCodePages ahead;
};

// Reads a whole text file: the byte order mark picks UTF-16LE, UTF-16BE or UTF-8 (strict); a file
// without one is handed on byte for byte, as bytes of the ANSI code page; the text of any other is
// encoded in the ANSI code page (codePages' ansi). The mark is not part of the text. Pieces are
// decoded and encoded by turns on the caller's thread and on the source's, where it reads ahead,
// and handed to the sink in order on the caller's thread. Returns what the text could not keep:
// the characters the ANSI code page replaced (no line), and a last odd byte of UTF-16.
TTextChanges ReadText(TByteSource& source, const TReadingCodePages& codePages, TTextSink& sink,
                      std::size_t pieceBytes = kPieceBytes);

// Writes lines of bytes in the ANSI code page into a sink, in pieces, each line ended with CR LF
// and the record-end text before it where the line ends a record. Pieces are filled in buffers by
// turns, one more than the sink may still be reading, so the sink may write those while the next
// fills.
class TTextWriter {
public:
    // recordEnd: text written after a line that ends a record, before its CR LF, encoded by ansi.
    TTextWriter(TAnsiEncoder& ansi, TByteSink& sink, std::u16string_view recordEnd, std::size_t pieceBytes = kPieceBytes);
    ~TTextWriter() { sink_.Settle(); }  // the sink may still be reading a buffer
    TTextWriter(const TTextWriter&) = delete;
    TTextWriter& operator=(const TTextWriter&) = delete;

    // Lines of bytes, each ended as LineEnd ends it, where state says (see TKernels::copyLines);
    // kernels: the variant that copies them.
    void Lines(std::string_view bytes, TLineState& state, const TKernels& kernels);
    // Ends a line with CR LF, after the record-end text when the line ends a record.
    void LineEnd(bool endsRecord);
    void Finish();  // writes out everything held; the sink has it all when this returns

private:
    void Flush();

    TByteSink& sink_;
    std::unique_ptr<char[]> buffers_[kWritesBehind + 1];  // pages touched only as they are filled
    std::size_t filling_ = 0;  // of them, the one filling now
    char* out_;  // its bytes
    std::size_t capacity_;
    std::size_t used_ = 0;
    std::string recordLineEnd_;  // the record-end text encoded, then CR LF
};

}  // namespace zarn
