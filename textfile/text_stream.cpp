#include "textfile/text_stream.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>

namespace zarn {

namespace {

// Bytes checked at a time for being all ASCII.
constexpr std::size_t kBlockBytes = 64 * 1024;

// Each buffer keeps kCarryBytes free before its piece for what WholeUtf8Bytes leaves over: a UTF-8
// cut leaves three to six bytes, and a block is always longer than what is carried from it.
static_assert(kCarryBytes >= 6 && kBlockBytes > kCarryBytes);

// How a piece of a file is decoded: the file's encoding, and the code pages of the thread that
// decodes the piece.
struct TDecoding {
    const TEncoding& encoding;
    const TDecodingCodePages& codePages;
};

// A piece of a file in a buffer of its own, after the bytes held over from the piece before (a cut
// character, put in room kept free at the front), and what it decodes to: chunks of bytes in the
// ANSI code page and of text, in order, which own their data until the piece is reused.
class TPiece final : public TPieceWork {
public:
    TPiece(TDecoding decoding, std::size_t pieceBytes)
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
    bool AtEnd() const { return atEnd_; }

    // Takes over the bytes that the last piece held over, before its own bytes are read; the work
    // on what is read decodes it too where decode.
    void Follow(const TPiece& last, bool decode) {
        held_ = last.held_ - last.whole_;
        data_ = Room() - held_;
        std::memcpy(data_, last.data_ + last.whole_, held_);
        cut_ = false;
        decodeInRun_ = decode;
    }

    // The bytes read into Room: cut after the last whole character (what follows goes on to the
    // next piece), and decoded where asked to.
    void Run(std::size_t count) noexcept override {
        held_ += count;
        Cut(count == 0);
        if (decodeInRun_) Decode();
    }

    bool IsCut() const { return cut_; }
    // The piece ends the file with an odd byte of UTF-16, which no unit takes.
    bool LastByteLeftOut() const {
        const bool utf16 = decoding_.encoding == TEncoding::Utf16Le || decoding_.encoding == TEncoding::Utf16Be;
        return atEnd_ && utf16 && whole_ % 2 != 0;
    }

    void Cut(bool atEnd) noexcept {
        cut_ = true;
        atEnd_ = atEnd;
        switch (decoding_.encoding) {
        case TEncoding::Utf16Le:
        case TEncoding::Utf16Be: whole_ = atEnd ? held_ : held_ - held_ % 2; break;  // a last odd byte is dropped
        case TEncoding::Utf8: whole_ = atEnd ? held_ : WholeUtf8Bytes(std::string_view(data_, held_)); break;
        case TEncoding::Ansi: whole_ = held_; break;  // bytes, cut anywhere
        }
    }

    void Decode() noexcept {
        chunks_.clear();
        failure_ = nullptr;
        try {
            switch (decoding_.encoding) {
            case TEncoding::Utf16Le:
            case TEncoding::Utf16Be: Utf16(decoding_.encoding == TEncoding::Utf16Be); break;
            case TEncoding::Utf8: Utf8(); break;
            case TEncoding::Ansi: AddBytes(data_, 0, whole_); break;
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

    void Utf16(bool bigEndian) {
        const std::size_t count = whole_ / 2;
        std::memcpy(units_.data(), data_, count * 2);  // the host is little-endian
        if (bigEndian) {
            for (std::size_t i = 0; i < count; ++i) units_[i] = static_cast<char16_t>(units_[i] << 8 | units_[i] >> 8);
        }
        if (count > 0) chunks_.push_back({true, nullptr, 0, count});
    }

    // Decodes the whole characters held, in blocks: a block of ASCII goes on as it is; a block that
    // the ANSI code page encodes straight away goes on as those bytes; any other is decoded.
    void Utf8() {
        std::size_t units = 0, encodedBytes = 0;
        for (std::size_t pos = 0; pos < whole_;) {
            std::string_view block(data_ + pos, std::min(kBlockBytes, whole_ - pos));
            if (IsAscii(block)) {
                AddBytes(data_, pos, block.size());
            } else {
                if (pos + block.size() < whole_) block = block.substr(0, WholeUtf8Bytes(block));
                if (const auto encoded = decoding_.codePages.ansi.EncodeUtf8(block, encoded_.data() + encodedBytes)) {
                    AddBytes(encoded_.data(), encodedBytes, *encoded);
                    encodedBytes += *encoded;
                } else {
                    const std::size_t count = decoding_.codePages.utf8.Decode(block, units_.data() + units);
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

    TDecoding decoding_;
    std::vector<char> buffer_;
    char* data_;             // the bytes held: those carried over, then those read
    std::size_t held_ = 0;
    std::size_t whole_ = 0;  // of them, those decoded; the rest goes on to the next piece
    bool decodeInRun_ = false;
    bool cut_ = false;
    bool atEnd_ = false;
    std::vector<TChunk> chunks_;
    std::vector<char16_t> units_;
    std::vector<char> encoded_;  // UTF-8 in the ANSI code page
    std::exception_ptr failure_;
};

// Reads in two pieces by turns, and decodes them by turns on two threads: while this thread
// decodes one piece and hands its chunks on, the source reads the next and decodes it on its own.
// Only the cut at the end of a piece's whole characters has to wait for the piece before, and it
// is made as soon as the piece is read. Each piece is decoded with the code pages of the thread
// that decodes it: here (first) and at the source (ahead).
class TReader {
public:
    TReader(TByteSource& source, const TReadingCodePages& codePages, TTextSink& sink, std::size_t pieceBytes)
        : source_(source), sink_(sink), pieceBytes_(pieceBytes),
          pieces_{TPiece({encoding_, codePages.here}, pieceBytes), TPiece({encoding_, codePages.ahead}, pieceBytes)} {}
    ~TReader() { source_.Settle(); }  // the source may still be filling or decoding a piece
    TReader(const TReader&) = delete;
    TReader& operator=(const TReader&) = delete;

    // True when the file's last byte was left out (see ReadText).
    bool Run() {
        // The first bytes, here, up to those of the byte order mark.
        TPiece& here = pieces_[0];
        TPiece& ahead = pieces_[1];
        std::size_t got = 0;
        do {
            got = source_.Read(here.Room() + here.Held(), pieceBytes_ - here.Held());
            here.Add(got);
        } while (got != 0 && here.Held() < 3);
        const TBom bom = DetectBom(std::string_view(here.Data(), here.Held()));
        encoding_ = bom.encoding;
        here.Skip(bom.size);
        here.Cut(got == 0);
        for (;;) {
            // The source reads the next piece and decodes it while this one is decoded here.
            if (!here.AtEnd()) {
                ahead.Follow(here, true);
                source_.ReadAhead(ahead.Room(), pieceBytes_, &ahead);
            }
            here.Decode();
            here.Emit(sink_);
            if (here.AtEnd()) break;
            Take(ahead);
            // The source reads the piece after it (only cutting it) while that one is handed on.
            if (!ahead.AtEnd()) {
                here.Follow(ahead, false);
                source_.ReadAhead(here.Room(), pieceBytes_, &here);
            }
            ahead.Emit(sink_);
            if (ahead.AtEnd()) break;
            Take(here);
        }
        sink_.End();
        return here.LastByteLeftOut() || ahead.LastByteLeftOut();
    }

private:
    // The piece read ahead, read and cut, and decoded if the source was to decode it; a source that
    // did not read ahead leaves that to this thread.
    void Take(TPiece& piece) {
        const std::size_t count = source_.Read(piece.Room(), pieceBytes_);
        if (!piece.IsCut()) piece.Run(count);
    }

    TByteSource& source_;
    TTextSink& sink_;
    const std::size_t pieceBytes_;
    TEncoding encoding_ = TEncoding::Ansi;
    TPiece pieces_[2];  // [0]: decoded here; [1]: decoded at the source where it reads ahead
};

}  // namespace

bool ReadText(TByteSource& source, const TReadingCodePages& codePages, TTextSink& sink, std::size_t pieceBytes) {
    return TReader(source, codePages, sink, pieceBytes).Run();
}

TTextWriter::TTextWriter(TAnsiEncoder& ansi, TByteSink& sink, std::u16string_view recordEnd, std::size_t pieceBytes)
    : ansi_(ansi), sink_(sink) {
    TReplacements inRecordEnd;  // not counted: the date separator keeps its own rule
    recordLineEnd_.resize(recordEnd.size() * ansi.MaxBytesPerUnit());
    recordLineEnd_.resize(recordEnd.empty() ? 0 : ansi.Encode(recordEnd, recordLineEnd_.data(), inRecordEnd));
    recordLineEnd_ += "\r\n";
    // Room for a surrogate pair and for a line end at least, whatever the piece.
    capacity_ = std::max({pieceBytes, 4 * ansi.MaxBytesPerUnit(), recordLineEnd_.size()});
    for (std::vector<char>& buffer : buffers_) buffer.resize(capacity_);
    out_ = buffers_[0].data();
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
        used_ += ansi_.Encode(text.substr(0, count), out_ + used_, replaced_);
        text.remove_prefix(count);
    }
}

// The held high surrogate, alone: no low surrogate follows it.
void TTextWriter::EncodeHeld() {
    const char16_t unit = held_;
    held_ = 0;
    Encode(std::u16string_view(&unit, 1));
}

void TTextWriter::Lines(std::string_view bytes, TLineState& state, const TKernels& kernels) {
    if (held_ != 0) EncodeHeld();
    for (;;) {
        std::size_t written = 0;
        const std::size_t taken =
            kernels.copyLines(bytes.data(), bytes.size(), out_ + used_, capacity_ - used_, recordLineEnd_, state, written);
        used_ += written;
        bytes.remove_prefix(taken);
        if (bytes.empty()) return;
        Flush();  // what is left fits in an empty buffer: a line end always does
    }
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
    filling_ = (filling_ + 1) % std::size(buffers_);
    out_ = buffers_[filling_].data();
    used_ = 0;
}

}  // namespace zarn
