// Record stamping: the date stamp after every line that ends a record of comma-separated values.
// Platform-free. A line ends a record when the double quotes seen since the last record end are
// even in number; a quoted field holding a line break keeps the record open.
#pragma once

#include <string>
#include <string_view>

#include "textfile/kernels.h"
#include "textfile/text_stream.h"

namespace zarn {

// Splits decoded text into lines (CR LF, lone CR and lone LF each end one; U+0000 is a character
// of its line) and writes each line with CR LF, stamped where it ends a record.
class TRecordStamper final : public TTextSink {
public:
    // kernels: the variant that copies lines of bytes and scans UTF-16 for line ends and quotes.
    explicit TRecordStamper(TTextWriter& writer, const TKernels& kernels = Kernels()) : writer_(writer), kernels_(kernels) {}
    void Text(std::u16string_view text) override;
    void Bytes(std::string_view bytes) override;
    void End() override;
    // What the writer's code page replaced, with the line of the first.
    TReplacements Replaced() const;

private:
    void EndLine();
    void NoteLineOfFirstReplaced() {
        if (firstReplacedLine_ == 0 && writer_.Replaced().count != 0) firstReplacedLine_ = state_.lineEnds + 1;
    }

    TTextWriter& writer_;
    const TKernels& kernels_;
    TLineState state_;
    std::uint64_t firstReplacedLine_ = 0;
};

// Stamps a whole file from source to sink: decode, stamp every record end, encode. The stamp is
// UTF-16 text. The text is written in codePages.here.ansi, on the caller's thread. Returns what
// the text could not keep: the characters that the ANSI code page replaced (the stamp's are not
// counted), and a last odd byte of UTF-16.
TTextChanges StampText(TByteSource& source, const TReadingCodePages& codePages, std::u16string_view stamp,
                        TByteSink& sink, std::size_t pieceBytes = kPieceBytes, const TKernels& kernels = Kernels());

}  // namespace zarn
