#include "stamp/record_stamper.h"

namespace zarn {

void TRecordStamper::Text(std::u16string_view text) {
    const char16_t* const units = text.data();
    const std::size_t count = text.size();
    std::size_t pos = 0;
    while (pos < count) {
        if (state_.skipLf) {
            state_.skipLf = false;
            if (units[pos] == u'\n') {
                ++pos;
                continue;
            }
        }
        const std::size_t start = pos;
        pos = kernels_.scanUnits(units, pos, count, state_.odd);
        if (pos > start) {
            state_.inLine = true;
            writer_.Text(text.substr(start, pos - start));
            NoteLineOfFirstReplaced();
        }
        if (pos == count) break;
        EndLine();
        state_.skipLf = units[pos] == u'\r';
        ++pos;
    }
}

void TRecordStamper::Bytes(std::string_view bytes) { writer_.Lines(bytes, state_, kernels_); }

// A high surrogate held at the end of the line is encoded before its end.
void TRecordStamper::EndLine() {
    writer_.LineEnd(!state_.odd);
    NoteLineOfFirstReplaced();
    ++state_.lineEnds;
    state_.inLine = false;
}

TReplacements TRecordStamper::Replaced() const {
    TReplacements replaced = writer_.Replaced();
    replaced.line = firstReplacedLine_;
    return replaced;
}

void TRecordStamper::End() {
    if (state_.inLine) EndLine();
}

TTextChanges StampText(TByteSource& source, const TReadingCodePages& codePages, std::u16string_view stamp,
                       TByteSink& sink, std::size_t pieceBytes, const TKernels& kernels) {
    TTextWriter writer(codePages.here.ansi, sink, stamp, pieceBytes);
    TRecordStamper stamper(writer, kernels);
    const bool lastByteLeftOut = ReadText(source, codePages, stamper, pieceBytes);
    writer.Finish();
    return {stamper.Replaced(), lastByteLeftOut};
}

}  // namespace zarn
