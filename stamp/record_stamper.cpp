#include "stamp/record_stamper.h"

#include <utility>

namespace zarn {

TRecordStamper::TRecordStamper(std::string stamp, TTextWriter& writer)
    : stamp_(std::move(stamp)), writer_(writer) {}

bool TRecordStamper::Text(std::u16string_view text) { return Feed(text); }

bool TRecordStamper::Ascii(std::string_view bytes) { return Feed(bytes); }

template <class TUnit>
bool TRecordStamper::Feed(std::basic_string_view<TUnit> text) {
    if (ended_) return false;
    const TUnit* p = text.data();
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        if (skipLf_) {
            skipLf_ = false;
            if (p[i] == u'\n') {
                ++i;
                continue;
            }
        }
        const std::size_t start = i;
        bool odd = oddQuotes_;
        for (; i < n; ++i) {
            const auto unit = static_cast<char16_t>(p[i]);
            if (unit > u'"') continue;
            if (unit == u'"') odd = !odd;
            else if (unit == u'\r' || unit == u'\n' || unit == 0) break;
        }
        oddQuotes_ = odd;
        if (i > start) {
            inLine_ = true;
            if constexpr (sizeof(TUnit) == 1) writer_.Ascii(std::string_view(p + start, i - start));
            else writer_.Text(std::u16string_view(p + start, i - start));
        }
        if (i == n) break;
        if (p[i] == 0) {
            if (inLine_) EndLine();
            ended_ = true;
            return false;
        }
        EndLine();
        skipLf_ = p[i] == u'\r';
        ++i;
    }
    return true;
}

void TRecordStamper::EndLine() {
    if (!oddQuotes_) writer_.Encoded(stamp_);
    writer_.Ascii("\r\n");
    inLine_ = false;
}

void TRecordStamper::End() {
    if (!ended_ && inLine_) EndLine();
    ended_ = true;
}

void StampText(TByteSource& source, TCodePage& ansi, TCodePage& utf8, std::u16string_view stamp, TByteSink& sink,
               std::size_t pieceBytes) {
    std::string encoded(stamp.size() * ansi.MaxBytesPerUnit(), '\0');
    encoded.resize(stamp.empty() ? 0 : ansi.Encode(stamp, encoded.data()));
    TTextWriter writer(ansi, sink, pieceBytes);
    TRecordStamper stamper(std::move(encoded), writer);
    ReadText(source, ansi, utf8, stamper, pieceBytes);
    writer.Finish();
}

}  // namespace zarn
