#include "stamp/record_stamper.h"

namespace zarn {

void TRecordStamper::Text(std::u16string_view text) { Feed(text.data(), text.size()); }

void TRecordStamper::Bytes(std::string_view bytes) { Feed(bytes.data(), bytes.size()); }

template <class TUnit>
void TRecordStamper::Feed(const TUnit* text, std::size_t count) {
    std::size_t pos = 0;
    while (pos < count) {
        if (skipLf_) {
            skipLf_ = false;
            if (text[pos] == u'\n') {
                ++pos;
                continue;
            }
        }
        const std::size_t start = pos;
        if constexpr (sizeof(TUnit) == 1) pos = kernels_.scanBytes(text, pos, count, oddQuotes_);
        else pos = kernels_.scanUnits(text, pos, count, oddQuotes_);
        if (pos > start) {
            inLine_ = true;
            if constexpr (sizeof(TUnit) == 1) writer_.Bytes(text + start, pos - start);
            else writer_.Text(std::u16string_view(text + start, pos - start));
        }
        if (pos == count) break;
        EndLine();
        skipLf_ = text[pos] == u'\r';
        ++pos;
    }
}

void TRecordStamper::EndLine() {
    writer_.LineEnd(!oddQuotes_);
    inLine_ = false;
}

void TRecordStamper::End() {
    if (inLine_) EndLine();
    inLine_ = false;
}

void StampText(TByteSource& source, const TReadingCodePages& codePages, std::u16string_view stamp, TByteSink& sink,
               std::size_t pieceBytes, const TKernels& kernels) {
    TTextWriter writer(codePages.here.ansi, sink, stamp, pieceBytes);
    TRecordStamper stamper(writer, kernels);
    ReadText(source, codePages, stamper, pieceBytes);
    writer.Finish();
}

}  // namespace zarn
