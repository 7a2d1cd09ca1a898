// Record stamping: the date stamp after every line that ends a record of comma-separated values.
// Platform-free. A line ends a record when the double quotes seen since the last record end are
// even in number; a quoted field holding a line break keeps the record open. Lines and quotes are
// found on the bytes of the ANSI code page, in which they are those of the text (TTextSink).
#pragma once

#include <string>
#include <string_view>

#include "textfile/kernels.h"
#include "textfile/text_stream.h"

namespace zarn {

// Splits the text's bytes into lines (CR LF, lone CR and lone LF each end one; a zero byte is a
// character of its line) and writes each line with CR LF, stamped where it ends a record.
class TRecordStamper final : public TTextSink {
public:
    // kernels: the variant that copies lines of bytes.
    explicit TRecordStamper(TTextWriter& writer, const TKernels& kernels = Kernels()) : writer_(writer), kernels_(kernels) {}
    void Bytes(std::string_view bytes) override { writer_.Lines(bytes, state_, kernels_); }
    void FirstReplacedNext() override { firstReplacedLine_ = state_.lineEnds + 1; }
    void End() override;
    // The line of the first character that the code page replaced, from 1; 0 where none was.
    std::uint64_t FirstReplacedLine() const { return firstReplacedLine_; }

private:
    TTextWriter& writer_;
    const TKernels& kernels_;
    TLineState state_;
    std::uint64_t firstReplacedLine_ = 0;
};

// Stamps a whole file from source to sink: decode and encode into the ANSI code page (ReadText),
// then stamp every record end. The stamp is UTF-16 text, encoded by codePages.here.ansi. Returns what
// the text could not keep: the characters that the ANSI code page replaced (the stamp's are not
// counted), and a last odd byte of UTF-16.
TTextChanges StampText(TByteSource& source, const TReadingCodePages& codePages, std::u16string_view stamp,
                       TByteSink& sink, std::size_t pieceBytes = kPieceBytes, const TKernels& kernels = Kernels());

}  // namespace zarn
