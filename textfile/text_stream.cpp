#include "textfile/text_stream.h"

#include <algorithm>
#include <cstring>

namespace zarn {

namespace {

// Bytes that may be carried from one piece to the next: an odd byte of UTF-16, a lead byte
// without its trail, or the start of a UTF-8 sequence.
constexpr std::size_t kCarryBytes = 4;

class TReader {
public:
    TReader(TByteSource& source, TCodePage& ansi, TCodePage& utf8, TTextSink& sink, std::size_t pieceBytes)
        : source_(source), ansi_(ansi), utf8_(utf8), sink_(sink), pieceBytes_(pieceBytes),
          bytes_(pieceBytes + kCarryBytes), units_(pieceBytes + kCarryBytes) {}

    void Run() {
        bool atEnd = false;
        while (held_ < 3 && !atEnd) atEnd = !Fill();
        const TBom bom = DetectBom(std::string_view(bytes_.data(), held_));
        Consume(bom.size);
        for (;;) {
            switch (bom.encoding) {
            case TEncoding::Utf16Le: Utf16(false, atEnd); break;
            case TEncoding::Utf16Be: Utf16(true, atEnd); break;
            case TEncoding::Utf8: Bytes(utf8_, atEnd); break;
            case TEncoding::Ansi: Bytes(ansi_, atEnd); break;
            }
            if (atEnd) break;
            atEnd = !Fill();
        }
        if (open_) sink_.End();
    }

private:
    // Appends one read to the held bytes; false at the end of the source.
    bool Fill() {
        const std::size_t got = source_.Read(bytes_.data() + held_, pieceBytes_);
        held_ += got;
        return got != 0;
    }

    void Consume(std::size_t count) {
        std::memmove(bytes_.data(), bytes_.data() + count, held_ - count);
        held_ -= count;
    }

    void Utf16(bool bigEndian, bool atEnd) {
        const std::size_t count = held_ / 2;
        if (open_) {
            const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data());
            for (std::size_t i = 0; i < count; ++i, p += 2) {
                units_[i] = bigEndian ? static_cast<char16_t>(p[0] << 8 | p[1])
                                      : static_cast<char16_t>(p[1] << 8 | p[0]);
            }
            open_ = sink_.Text(std::u16string_view(units_.data(), count));
        }
        Consume(atEnd ? held_ : count * 2);  // a last odd byte is dropped
    }

    void Bytes(TCodePage& codePage, bool atEnd) {
        const std::size_t whole = atEnd ? held_ : WholeCharacterBytes(codePage.Shape(), std::string_view(bytes_.data(), held_));
        const std::string_view piece(bytes_.data(), whole);
        // After the end of the text only UTF-8 is still decoded, for its validity.
        if (open_ && IsAscii(piece)) {
            open_ = sink_.Ascii(piece);
        } else if (open_ || &codePage == &utf8_) {
            const std::size_t count = codePage.Decode(piece, units_.data());
            if (open_) open_ = sink_.Text(std::u16string_view(units_.data(), count));
        }
        Consume(whole);
    }

    TByteSource& source_;
    TCodePage& ansi_;
    TCodePage& utf8_;
    TTextSink& sink_;
    const std::size_t pieceBytes_;
    std::vector<char> bytes_;
    std::vector<char16_t> units_;
    std::size_t held_ = 0;
    bool open_ = true;
};

}  // namespace

void ReadText(TByteSource& source, TCodePage& ansi, TCodePage& utf8, TTextSink& sink, std::size_t pieceBytes) {
    TReader(source, ansi, utf8, sink, pieceBytes).Run();
}

TTextWriter::TTextWriter(TCodePage& ansi, TByteSink& sink, std::size_t pieceBytes)
    : ansi_(ansi), sink_(sink), buffer_(pieceBytes) {}

void TTextWriter::Text(std::u16string_view text) {
    if (text.empty()) return;
    if (heldSurrogate_ != 0) {
        const bool pair = text.front() >= 0xDC00 && text.front() <= 0xDFFF;
        const char16_t units[2] = {heldSurrogate_, text.front()};
        heldSurrogate_ = 0;
        EncodePiece(std::u16string_view(units, pair ? 2 : 1));
        if (pair) text.remove_prefix(1);
    }
    if (!text.empty() && IsHighSurrogate(text.back())) {
        heldSurrogate_ = text.back();
        text.remove_suffix(1);
    }
    const std::size_t most = buffer_.size() / ansi_.MaxBytesPerUnit();
    while (!text.empty()) {
        std::size_t count = std::min(text.size(), most);
        // Never part a surrogate pair between two pieces.
        if (count < text.size() && IsHighSurrogate(text[count - 1])) --count;
        EncodePiece(text.substr(0, count));
        text.remove_prefix(count);
    }
}

void TTextWriter::EncodePiece(std::u16string_view text) {
    if (IsAscii(text)) {
        Room(text.size());
        char* out = buffer_.data() + used_;
        for (char16_t unit : text) *out++ = static_cast<char>(unit);
        used_ += text.size();
        return;
    }
    Room(text.size() * ansi_.MaxBytesPerUnit());
    used_ += ansi_.Encode(text, buffer_.data() + used_);
}

void TTextWriter::Ascii(std::string_view bytes) { Encoded(bytes); }

void TTextWriter::Encoded(std::string_view bytes) {
    FlushSurrogate();
    while (!bytes.empty()) {
        if (used_ == buffer_.size()) Flush();
        const std::size_t count = std::min(bytes.size(), buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, bytes.data(), count);
        used_ += count;
        bytes.remove_prefix(count);
    }
}

void TTextWriter::Finish() {
    FlushSurrogate();
    Flush();
}

void TTextWriter::FlushSurrogate() {
    if (heldSurrogate_ == 0) return;
    const char16_t unit = heldSurrogate_;
    heldSurrogate_ = 0;
    EncodePiece(std::u16string_view(&unit, 1));
}

void TTextWriter::Room(std::size_t bytes) {
    if (buffer_.size() - used_ < bytes) Flush();
}

void TTextWriter::Flush() {
    if (used_ != 0) sink_.Write(buffer_.data(), used_);
    used_ = 0;
}

}  // namespace zarn
