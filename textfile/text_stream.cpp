#include "textfile/text_stream.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>

namespace zarn {

namespace {

// Bytes checked at a time for being all ASCII.
constexpr std::size_t kBlockBytes = 64 * 1024;

// Each buffer keeps kCarryBytes free before its piece for what WholeCharacterBytes leaves over: a
// UTF-8 cut leaves three to six bytes, and a block is always longer than what is carried from it.
static_assert(kCarryBytes >= 6 && kBlockBytes > kCarryBytes);

// How the pieces of one file are decoded: its encoding and the code pages of the reading side.
struct TDecoding {
    TEncoding encoding;
    TCodePage& ansi;
    TCodePage& utf8;
};

// A piece of a file in a buffer of its own, after the bytes held over from the piece before (a cut
// character, put in room kept free at the front), and what it decodes to: chunks of bytes in the
// ANSI code page and of text, in order, which own their data until the piece is reused.
class TPiece final : public TPieceWork {
public:
    TPiece(const TDecoding& decoding, std::size_t pieceBytes)
        : decoding_(decoding), buffer_(kCarryBytes + pieceBytes), data_(Room()),
          units_(kCarryBytes + pieceBytes + 3), encoded_(kCarryBytes + pieceBytes) {}

    char* Room() { return buffer_.data() + kCarryBytes; }
    const char* Data() const { return data_; }
    std::size_t Held() const { return held_; }
    void Skip(std::size_t count) {
        data_ += count;
        held_ -= count;
    }
    void Add(std::size_t count) { held_ += count; }
    bool Decoded() const { return decoded_; }
    bool AtEnd() const { return atEnd_; }

    // Takes over the bytes that the last piece held over, before its own bytes are read.
    void Follow(const TPiece& last) {
        held_ = last.held_ - last.whole_;
        data_ = Room() - held_;
        std::memcpy(data_, last.data_ + last.whole_, held_);
        decoded_ = false;
    }

    // The bytes read into Room, then decoded (on the source's thread, where it reads ahead).
    void Run(std::size_t count) noexcept override {
        held_ += count;
        Decode(count == 0);
    }

    void Decode(bool atEnd) noexcept {
        decoded_ = true;
        atEnd_ = atEnd;
        chunks_.clear();
        failure_ = nullptr;
        try {
            if (decoding_.encoding == TEncoding::Utf16Le || decoding_.encoding == TEncoding::Utf16Be) {
                Utf16(decoding_.encoding == TEncoding::Utf16Be, atEnd);
            } else {
                Bytes(atEnd);
            }
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    // Hands the chunks on, in order; a failure of the decoding is raised instead.
    void Emit(TTextSink& sink) const {
        if (failure_) std::rethrow_exception(failure_);
        for (const TChunk& chunk : chunks_) {
            if (chunk.text) sink.Text(std::u16string_view(units_.data() + chunk.at, chunk.count));
            else sink.Bytes(std::string_view(chunk.bytes + chunk.at, chunk.count));
        }
    }

private:
    struct TChunk {
        bool text;
        const char* bytes;  // of a chunk of bytes: where they lie (the buffer or encoded_)
        std::size_t at, count;
    };

    void Utf16(bool bigEndian, bool atEnd) {
        const std::size_t count = held_ / 2;
        std::memcpy(units_.data(), data_, count * 2);  // the host is little-endian
        if (bigEndian) {
            for (std::size_t i = 0; i < count; ++i) units_[i] = static_cast<char16_t>(units_[i] << 8 | units_[i] >> 8);
        }
        if (count > 0) chunks_.push_back({true, nullptr, 0, count});
        whole_ = atEnd ? held_ : count * 2;  // a last odd byte is dropped
    }

    // Decodes the whole characters held, in blocks: a block of ASCII, or of ANSI characters that
    // come back unchanged from the code page, goes on as it is; a block of UTF-8 that the ANSI
    // code page encodes straight away goes on as those bytes; any other through the code page.
    // A lenient UTF-8 converter (UTF-8 as the ANSI code page) decodes a malformed sequence cut short
    // by the end of its bytes otherwise than the same sequence among text: it takes what follows
    // into it. So a block of it is decoded together with the three bytes after it (a cut leaves
    // them), and what those decode to alone, from the same boundary, is taken off again.
    void Bytes(bool atEnd) {
        const TEncoding encoding = decoding_.encoding;
        TCodePage& codePage = encoding == TEncoding::Utf8 ? decoding_.utf8 : decoding_.ansi;
        const TCodePageShape& shape = codePage.Shape();
        const bool withFollowing = encoding == TEncoding::Ansi && shape.kind == TCodePageShape::TKind::Utf8;
        whole_ = atEnd ? held_ : WholeCharacterBytes(shape, std::string_view(data_, held_));
        std::size_t units = 0, encodedBytes = 0;
        for (std::size_t pos = 0; pos < whole_;) {
            std::string_view block(data_ + pos, std::min(kBlockBytes, whole_ - pos));
            std::optional<std::size_t> encoded;
            if (IsAscii(block)) {
                AddBytes(data_, pos, block.size());
            } else {
                if (pos + block.size() < whole_) block = block.substr(0, WholeCharacterBytes(shape, block));
                if (encoding == TEncoding::Ansi && decoding_.ansi.RoundTrips(block)) {
                    AddBytes(data_, pos, block.size());
                } else if (encoding == TEncoding::Utf8 &&
                           (encoded = decoding_.ansi.EncodeUtf8(block, encoded_.data() + encodedBytes))) {
                    AddBytes(encoded_.data(), encodedBytes, *encoded);
                    encodedBytes += *encoded;
                } else {
                    const std::size_t end = pos + block.size();
                    const std::size_t following = withFollowing ? std::min<std::size_t>(3, held_ - end) : 0;
                    std::size_t count = codePage.Decode(std::string_view(block.data(), block.size() + following),
                                                        units_.data() + units);
                    if (following > 0) {
                        char16_t alone[3];
                        count -= codePage.Decode(std::string_view(data_ + end, following), alone);
                    }
                    if (count > 0) chunks_.push_back({true, nullptr, units, count});
                    units += count;
                }
            }
            pos += block.size();
        }
    }

    // Bytes that go on as they are, joined to the chunk before where they follow it.
    void AddBytes(const char* bytes, std::size_t at, std::size_t count) {
        if (count == 0) return;
        if (!chunks_.empty() && !chunks_.back().text && chunks_.back().bytes == bytes &&
            chunks_.back().at + chunks_.back().count == at) {
            chunks_.back().count += count;
        } else {
            chunks_.push_back({false, bytes, at, count});
        }
    }

    const TDecoding& decoding_;
    std::vector<char> buffer_;
    char* data_;             // the bytes held: those carried over, then those read
    std::size_t held_ = 0;
    std::size_t whole_ = 0;  // of them, those decoded; the rest goes on to the next piece
    bool decoded_ = false;
    bool atEnd_ = false;
    std::vector<TChunk> chunks_;
    std::vector<char16_t> units_;
    std::vector<char> encoded_;  // UTF-8 in the ANSI code page
    std::exception_ptr failure_;
};

// Reads in two pieces by turns: while the sink works on the chunks of one, the source reads the
// next into the other and decodes it there.
class TReader {
public:
    TReader(TByteSource& source, TCodePage& ansi, TCodePage& utf8, TTextSink& sink, std::size_t pieceBytes)
        : source_(source), sink_(sink), pieceBytes_(pieceBytes), decoding_{TEncoding::Ansi, ansi, utf8},
          pieces_{TPiece(decoding_, pieceBytes), TPiece(decoding_, pieceBytes)} {}
    ~TReader() { source_.Settle(); }  // the source may still be filling a piece
    TReader(const TReader&) = delete;
    TReader& operator=(const TReader&) = delete;

    void Run() {
        // The first bytes, here, up to those of the byte order mark.
        TPiece* piece = &pieces_[0];
        std::size_t got = 0;
        do {
            got = source_.Read(piece->Room() + piece->Held(), pieceBytes_ - piece->Held());
            piece->Add(got);
        } while (got != 0 && piece->Held() < 3);
        const TBom bom = DetectBom(std::string_view(piece->Data(), piece->Held()));
        decoding_.encoding = bom.encoding;
        piece->Skip(bom.size);
        piece->Decode(got == 0);
        for (unsigned turn = 1; !piece->AtEnd(); turn ^= 1) {
            TPiece& next = pieces_[turn];
            next.Follow(*piece);
            source_.ReadAhead(next.Room(), pieceBytes_, &next);
            piece->Emit(sink_);
            const std::size_t count = source_.Read(next.Room(), pieceBytes_);
            if (!next.Decoded()) next.Run(count);
            piece = &next;
        }
        piece->Emit(sink_);
        sink_.End();
    }

private:
    TByteSource& source_;
    TTextSink& sink_;
    const std::size_t pieceBytes_;
    TDecoding decoding_;
    TPiece pieces_[2];
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
