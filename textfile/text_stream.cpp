#include "textfile/text_stream.h"

#include <algorithm>
#include <cstring>

namespace zarn {

namespace {

// Bytes checked at a time for being all ASCII.
constexpr std::size_t kBlockBytes = 64 * 1024;

// Each buffer keeps kCarryBytes free before its piece for what WholeCharacterBytes leaves over: a
// UTF-8 cut leaves three to six bytes, and a block is always longer than what is carried from it.
static_assert(kCarryBytes >= 6 && kBlockBytes > kCarryBytes);

// Reads in two buffers by turns: while the bytes of one are worked on, the source may fill the
// other. The bytes held over from a piece (a cut character) are put just before the next piece,
// in room kept free at the front of each buffer.
class TReader {
public:
    TReader(TByteSource& source, TCodePage& ansi, TCodePage& utf8, TTextSink& sink, std::size_t pieceBytes)
        : source_(source), ansi_(ansi), utf8_(utf8), sink_(sink), pieceBytes_(pieceBytes),
          buffers_{std::vector<char>(kCarryBytes + pieceBytes), std::vector<char>(kCarryBytes + pieceBytes)},
          data_(buffers_[0].data() + kCarryBytes), units_(pieceBytes + kCarryBytes), encoded_(kBlockBytes) {}
    ~TReader() { source_.Settle(); }  // the source may still be filling a buffer
    TReader(const TReader&) = delete;
    TReader& operator=(const TReader&) = delete;

    void Run() {
        bool atEnd = false;
        while (held_ < 3 && !atEnd) atEnd = !Fill();
        const TBom bom = DetectBom(std::string_view(data_, held_));
        Consume(bom.size);
        for (;;) {
            switch (bom.encoding) {
            case TEncoding::Utf16Le: Utf16(false, atEnd); break;
            case TEncoding::Utf16Be: Utf16(true, atEnd); break;
            case TEncoding::Utf8:
            case TEncoding::Ansi: Bytes(bom.encoding, atEnd); break;
            }
            if (atEnd) break;
            atEnd = !Fill();
        }
        sink_.End();
    }

private:
    // Reads the next piece into the other buffer, after the bytes held (never more than
    // kCarryBytes), and lets the source read ahead into this one; false at the end of the source.
    bool Fill() {
        const std::size_t next = 1 - current_;
        char* piece = buffers_[next].data() + kCarryBytes;
        const std::size_t got = source_.Read(piece, pieceBytes_);
        std::memcpy(piece - held_, data_, held_);
        data_ = piece - held_;
        held_ += got;
        current_ = next;
        if (got != 0) source_.ReadAhead(buffers_[1 - next].data() + kCarryBytes, pieceBytes_);
        return got != 0;
    }

    void Consume(std::size_t count) {
        data_ += count;
        held_ -= count;
    }

    void Utf16(bool bigEndian, bool atEnd) {
        const std::size_t count = held_ / 2;
        std::memcpy(units_.data(), data_, count * 2);  // the host is little-endian
        if (bigEndian) {
            for (std::size_t i = 0; i < count; ++i) units_[i] = static_cast<char16_t>(units_[i] << 8 | units_[i] >> 8);
        }
        sink_.Text(std::u16string_view(units_.data(), count));
        Consume(atEnd ? held_ : count * 2);  // a last odd byte is dropped
    }

    // Decodes the whole characters held, in blocks: a block of ASCII, or of ANSI characters that
    // come back unchanged from the code page, goes on as it is; a block of UTF-8 that the ANSI
    // code page encodes straight away goes on as those bytes; any other through the code page.
    // A lenient UTF-8 converter (UTF-8 as the ANSI code page) decodes a malformed sequence cut short
    // by the end of its bytes otherwise than the same sequence among text: it takes what follows
    // into it. So a block of it is decoded together with the three bytes after it (a cut leaves
    // them), and what those decode to alone, from the same boundary, is taken off again.
    void Bytes(TEncoding encoding, bool atEnd) {
        TCodePage& codePage = encoding == TEncoding::Utf8 ? utf8_ : ansi_;
        const TCodePageShape& shape = codePage.Shape();
        const bool withFollowing = encoding == TEncoding::Ansi && shape.kind == TCodePageShape::TKind::Utf8;
        const std::size_t whole = atEnd ? held_ : WholeCharacterBytes(shape, std::string_view(data_, held_));
        std::size_t pos = 0;
        while (pos < whole) {
            std::string_view block(data_ + pos, std::min(kBlockBytes, whole - pos));
            std::optional<std::size_t> encoded;
            if (IsAscii(block)) {
                sink_.Bytes(block);
            } else {
                if (pos + block.size() < whole) block = block.substr(0, WholeCharacterBytes(shape, block));
                if (encoding == TEncoding::Ansi && ansi_.RoundTrips(block)) {
                    sink_.Bytes(block);
                } else if (encoding == TEncoding::Utf8 && (encoded = ansi_.EncodeUtf8(block, encoded_.data()))) {
                    sink_.Bytes(std::string_view(encoded_.data(), *encoded));
                } else {
                    const std::size_t end = pos + block.size();
                    const std::size_t following = withFollowing ? std::min<std::size_t>(3, held_ - end) : 0;
                    std::size_t count = codePage.Decode(std::string_view(block.data(), block.size() + following), units_.data());
                    if (following > 0) {
                        char16_t alone[3];
                        count -= codePage.Decode(std::string_view(data_ + end, following), alone);
                    }
                    sink_.Text(std::u16string_view(units_.data(), count));
                }
            }
            pos += block.size();
        }
        Consume(whole);
    }

    TByteSource& source_;
    TCodePage& ansi_;
    TCodePage& utf8_;
    TTextSink& sink_;
    const std::size_t pieceBytes_;
    std::vector<char> buffers_[2];
    std::size_t current_ = 0;  // the buffer that data_ lies in
    const char* data_;         // the bytes held, not yet worked on
    std::size_t held_ = 0;
    std::vector<char16_t> units_;
    std::vector<char> encoded_;  // a block of UTF-8 in the ANSI code page
};

}  // namespace

void ReadText(TByteSource& source, TCodePage& ansi, TCodePage& utf8, TTextSink& sink, std::size_t pieceBytes) {
    TReader(source, ansi, utf8, sink, pieceBytes).Run();
}

TTextWriter::TTextWriter(TCodePage& ansi, TByteSink& sink, std::u16string_view recordEnd, std::size_t pieceBytes)
    : ansi_(ansi), sink_(sink) {
    // Room for a surrogate pair at least, whatever the piece.
    capacity_ = std::max(pieceBytes, 4 * ansi.MaxBytesPerUnit());
    buffers_[0].resize(capacity_);
    buffers_[1].resize(capacity_);
    out_ = buffers_[0].data();
    recordLineEnd_.resize(recordEnd.size() * ansi.MaxBytesPerUnit());
    recordLineEnd_.resize(recordEnd.empty() ? 0 : ansi.Encode(recordEnd, recordLineEnd_.data()));
    recordLineEnd_ += "\r\n";
}

void TTextWriter::Text(std::u16string_view text) {
    if (text.empty()) return;
    if (held_ != 0) {
        if (IsLowSurrogate(text[0])) {
            const char16_t pair[2] = {held_, text[0]};
            held_ = 0;
            Encode(std::u16string_view(pair, 2));
            text.remove_prefix(1);
        } else {
            EncodeHeld();
        }
    }
    if (!text.empty() && IsHighSurrogate(text.back())) {
        held_ = text.back();
        text.remove_suffix(1);
    }
    Encode(text);
}

// In pieces that fit the buffer, never between the units of a pair.
void TTextWriter::Encode(std::u16string_view text) {
    const std::size_t perUnit = ansi_.MaxBytesPerUnit();
    while (!text.empty()) {
        std::size_t count = std::min(text.size(), (capacity_ - used_) / perUnit);
        if (count < text.size() && count > 0 && IsHighSurrogate(text[count - 1])) --count;
        if (count == 0) {
            Flush();
            continue;
        }
        used_ += ansi_.Encode(text.substr(0, count), out_ + used_);
        text.remove_prefix(count);
    }
}

// The held high surrogate, alone: no low surrogate follows it.
void TTextWriter::EncodeHeld() {
    const char16_t unit = held_;
    held_ = 0;
    Encode(std::u16string_view(&unit, 1));
}

void TTextWriter::BytesSlow(const char* bytes, std::size_t count) {
    if (held_ != 0) EncodeHeld();
    while (count > 0) {
        if (used_ == capacity_) Flush();
        const std::size_t done = std::min(count, capacity_ - used_);
        CopyBytes(out_ + used_, bytes, done);
        used_ += done;
        bytes += done;
        count -= done;
    }
}

void TTextWriter::Finish() {
    if (held_ != 0) EncodeHeld();
    Flush();
    sink_.Settle();
}

void TTextWriter::Flush() {
    if (used_ == 0) return;
    sink_.Write(out_, used_);
    out_ = out_ == buffers_[0].data() ? buffers_[1].data() : buffers_[0].data();
    used_ = 0;
}

}  // namespace zarn
