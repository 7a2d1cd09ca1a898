#include "stamp/record_stamper.h"

namespace zarn {

void TRecordStamper::End() {
    if (!state_.inLine) return;
    writer_.LineEnd(!state_.odd);
    ++state_.lineEnds;
    state_.inLine = false;
}

TTextChanges StampText(TByteSource& source, const TReadingCodePages& codePages, std::u16string_view stamp,
                       TByteSink& sink, std::size_t pieceBytes, const TKernels& kernels) {
    TTextWriter writer(codePages.here.ansi, sink, stamp, pieceBytes);
    TRecordStamper stamper(writer, kernels);
    TTextChanges changes = ReadText(source, codePages, stamper, pieceBytes);
    writer.Finish();
    changes.replaced.line = stamper.FirstReplacedLine();
    return changes;
}

}  // namespace zarn
