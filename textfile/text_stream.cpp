#include "textfile/text_stream.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

namespace zarn {

namespace {

// Bytes of UTF-8 looked at at a time for being all ASCII, or encoded straight into the ANSI code
// page; a block that is neither is decoded and encoded.
constexpr std::size_t kBlockBytes = 64 * 1024;

// Each buffer keeps kCarryBytes free before its piece for what a cut leaves over: a UTF-8 cut
// leaves three to six bytes, a UTF-16 cut an odd byte and a high surrogate; a block is always
// longer than what is carried from it.
static_assert(kCarryBytes >= 6 && kBlockBytes > kCarryBytes);

// A buffer whose pages are touched only where it is written: no page is cleared in advance.
std::unique_ptr<char[]> Buffer(std::size_t bytes) { return std::unique_ptr<char[]>(new char[bytes]); }

bool IsUtf16(TEncoding encoding) { return encoding == TEncoding::Utf16Le || encoding == TEncoding::Utf16Be; }

// How a piece of a file is decoded: the file's encoding, and the code pages of the thread that
// decodes the piece.
struct TDecoding {
    const TEncoding& encoding;
    const TDecodingCodePages& codePages;
};

// A piece of a file in a buffer of its own, after the bytes held over from the piece before (a cut
// character, put in room kept free at the front), and what it gives in the ANSI code page: chunks
// of bytes, in order, which lie in the buffer (a file without a mark, and ASCII of UTF-8) or in the
// piece's own output; they stay until the piece is reused.
class TPiece final : public TPieceWork {
public:
    TPiece(TDecoding decoding, std::size_t pieceBytes)
        : decoding_(decoding), pieceBytes_(pieceBytes), buffer_(Buffer(kCarryBytes + pieceBytes)), data_(Room()) {}

    char* Room() { return buffer_.get() + kCarryBytes; }
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

    // A piece cuts after its last whole character: of UTF-16 after the last whole unit that is no
    // high surrogate (a pair is encoded whole); of UTF-8 where WholeUtf8Bytes says. At the end of
    // the file it takes everything; an odd byte of UTF-16 there is left out.
    void Cut(bool atEnd) noexcept {
        cut_ = true;
        atEnd_ = atEnd;
        whole_ = held_;
        if (atEnd) return;
        switch (decoding_.encoding) {
        case TEncoding::Utf16Le:
        case TEncoding::Utf16Be:
            whole_ -= held_ % 2;
            if (whole_ >= 2 && IsHighSurrogate(UnitAt(whole_ - 2))) whole_ -= 2;
            break;
        case TEncoding::Utf8: whole_ = WholeUtf8Bytes(std::string_view(data_, held_)); break;
        case TEncoding::Ansi: break;  // bytes, cut anywhere
        }
    }

    // The piece ends the file with an odd byte of UTF-16, which no unit takes.
    bool LastByteLeftOut() const { return atEnd_ && IsUtf16(decoding_.encoding) && whole_ % 2 != 0; }

    // The whole characters into chunks of bytes in the ANSI code page; a failure is kept for Emit.
    void Decode() noexcept {
        chunks_.clear();
        replaced_ = TReplacements();
        failure_ = nullptr;
        try {
            switch (decoding_.encoding) {
            case TEncoding::Utf16Le:
            case TEncoding::Utf16Be: Utf16(decoding_.encoding == TEncoding::Utf16Be); break;
            case TEncoding::Utf8: Utf8(); break;
            case TEncoding::Ansi: AddBytes(data_, whole_); break;
            }
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    // Hands the chunks on, in order, and adds what the code page replaced to replaced: where they
    // hold the file's first such character, the sink is told before its bytes. A failure of the
    // decoding is raised instead.
    void Emit(TTextSink& sink, TReplacements& replaced) const {
        if (failure_) std::rethrow_exception(failure_);
        const bool first = replaced.count == 0 && replaced_.count != 0;
        if (first) replaced.first = replaced_.first;
        replaced.count += replaced_.count;
        std::size_t at = 0;  // of the chunks' bytes, where this chunk begins
        for (const TChunk& chunk : chunks_) {
            std::string_view bytes(chunk.bytes, chunk.count);
            if (first && replaced_.at >= at && replaced_.at < at + bytes.size()) {
                sink.Bytes(bytes.substr(0, replaced_.at - at));
                sink.FirstReplacedNext();
                bytes.remove_prefix(replaced_.at - at);
            }
            at += chunk.count;
            if (!bytes.empty()) sink.Bytes(bytes);
        }
    }

private:
    struct TChunk {
        const char* bytes;
        std::size_t count;
    };

    // The unit whose bytes begin at, in the file's byte order.
    char16_t UnitAt(std::size_t at) const {
        const auto first = static_cast<unsigned char>(data_[at]), second = static_cast<unsigned char>(data_[at + 1]);
        return static_cast<char16_t>(decoding_.encoding == TEncoding::Utf16Be ? first << 8 | second : second << 8 | first);
    }

    // The units in place (turned to the host's order, little-endian), encoded in one go.
    void Utf16(bool bigEndian) {
        const std::size_t count = whole_ / 2;
        if (count == 0) return;
        char* units = data_;
        if (reinterpret_cast<std::uintptr_t>(units) % alignof(char16_t) != 0) {
            // After an odd byte carried over: one byte back, into the room before the piece.
            std::memmove(units - 1, units, 2 * count);
            --units;
        }
        auto* text = reinterpret_cast<char16_t*>(units);
        if (bigEndian) {
            for (std::size_t i = 0; i < count; ++i) text[i] = static_cast<char16_t>(text[i] << 8 | text[i] >> 8);
        }
        char* const out = Output(count * decoding_.codePages.ansi.MaxBytesPerUnit());
        AddBytes(out, decoding_.codePages.ansi.Encode(std::u16string_view(text, count), out, replaced_));
    }

    // The whole characters held, in blocks: a block of ASCII goes on as it is; a block that the
    // ANSI code page encodes straight away as those bytes; any other is decoded and encoded. No
    // character gives more bytes in the ANSI code page than it has in UTF-8.
    void Utf8() {
        char* const out = Output(whole_);
        std::size_t written = 0;
        for (std::size_t pos = 0; pos < whole_;) {
            std::string_view block(data_ + pos, std::min(kBlockBytes, whole_ - pos));
            if (IsAscii(block)) {
                AddBytes(block.data(), block.size());
            } else {
                if (pos + block.size() < whole_) block = block.substr(0, WholeUtf8Bytes(block));
                std::size_t count = 0;
                if (const auto encoded = decoding_.codePages.ansi.EncodeUtf8(block, out + written)) {
                    count = *encoded;
                } else {
                    if (!units_) units_.reset(new char16_t[kBlockBytes]);
                    const std::size_t units = decoding_.codePages.utf8.Decode(block, units_.get());
                    TReplacements inBlock;
                    count = decoding_.codePages.ansi.Encode(std::u16string_view(units_.get(), units), out + written, inBlock);
                    if (replaced_.count == 0 && inBlock.count != 0) {
                        replaced_.first = inBlock.first;
                        replaced_.at = ChunkedBytes() + inBlock.at;
                    }
                    replaced_.count += inBlock.count;
                }
                AddBytes(out + written, count);
                written += count;
            }
            pos += block.size();
        }
    }

    // The piece's output, room for at least bytes: made once, for the most that a piece can give
    // (half as many units as bytes, three bytes each); its pages are touched only as they are
    // written.
    char* Output(std::size_t bytes) {
        if (outputBytes_ < bytes) {
            outputBytes_ = std::max(bytes, (kCarryBytes + pieceBytes_) / 2 * 3 + 8);
            output_ = Buffer(outputBytes_);
        }
        return output_.get();
    }

    // The bytes of the chunks so far.
    std::size_t ChunkedBytes() const {
        std::size_t total = 0;
        for (const TChunk& chunk : chunks_) total += chunk.count;
        return total;
    }

    // Bytes that go on as they are, joined to the chunk before where they follow it.
    void AddBytes(const char* bytes, std::size_t count) {
        if (count == 0) return;
        if (!chunks_.empty() && chunks_.back().bytes + chunks_.back().count == bytes) chunks_.back().count += count;
        else chunks_.push_back({bytes, count});
    }

    TDecoding decoding_;
    std::size_t pieceBytes_;
    std::unique_ptr<char[]> buffer_;
    char* data_;             // the bytes held: those carried over, then those read
    std::size_t held_ = 0;
    std::size_t whole_ = 0;  // of them, those decoded; the rest goes on to the next piece
    bool decodeInRun_ = false;
    bool cut_ = false;
    bool atEnd_ = false;
    std::vector<TChunk> chunks_;
    TReplacements replaced_;  // of the chunks' bytes: at counts from the first chunk
    std::unique_ptr<char[]> output_;  // the text encoded in the ANSI code page
    std::size_t outputBytes_ = 0;
    std::unique_ptr<char16_t[]> units_;  // a block of UTF-8 decoded, where it had to be
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

    TTextChanges Run() {
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
        TTextChanges changes;
        for (;;) {
            // The source reads the next piece and decodes it while this one is decoded here.
            if (!here.AtEnd()) {
                ahead.Follow(here, true);
                source_.ReadAhead(ahead.Room(), pieceBytes_, &ahead);
            }
            here.Decode();
            here.Emit(sink_, changes.replaced);
            if (here.AtEnd()) break;
            Take(ahead);
            // The source reads the piece after it (only cutting it) while that one is handed on.
            if (!ahead.AtEnd()) {
                here.Follow(ahead, false);
                source_.ReadAhead(here.Room(), pieceBytes_, &here);
            }
            ahead.Emit(sink_, changes.replaced);
            if (ahead.AtEnd()) break;
            Take(here);
        }
        sink_.End();
        changes.lastByteLeftOut = here.LastByteLeftOut() || ahead.LastByteLeftOut();
        return changes;
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

TTextChanges ReadText(TByteSource& source, const TReadingCodePages& codePages, TTextSink& sink, std::size_t pieceBytes) {
    return TReader(source, codePages, sink, pieceBytes).Run();
}

TTextWriter::TTextWriter(TAnsiEncoder& ansi, TByteSink& sink, std::u16string_view recordEnd, std::size_t pieceBytes)
    : sink_(sink) {
    TReplacements inRecordEnd;  // not counted: the date separator keeps its own rule
    recordLineEnd_.resize(recordEnd.size() * ansi.MaxBytesPerUnit());
    recordLineEnd_.resize(recordEnd.empty() ? 0 : ansi.Encode(recordEnd, recordLineEnd_.data(), inRecordEnd));
    recordLineEnd_ += "\r\n";
    // Room for a line end at least, whatever the piece.
    capacity_ = std::max(pieceBytes, recordLineEnd_.size());
    for (std::unique_ptr<char[]>& buffer : buffers_) buffer = Buffer(capacity_);
    out_ = buffers_[0].get();
}

void TTextWriter::Lines(std::string_view bytes, TLineState& state, const TKernels& kernels) {
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

void TTextWriter::LineEnd(bool endsRecord) {
    const std::string_view end = endsRecord ? std::string_view(recordLineEnd_) : std::string_view("\r\n", 2);
    if (capacity_ - used_ < end.size()) Flush();
    std::memcpy(out_ + used_, end.data(), end.size());
    used_ += end.size();
}

void TTextWriter::Finish() {
    Flush();
    sink_.Settle();
}

void TTextWriter::Flush() {
    if (used_ == 0) return;
    sink_.Write(out_, used_);
    filling_ = (filling_ + 1) % std::size(buffers_);
    out_ = buffers_[filling_].get();
    used_ = 0;
}

}  // namespace zarn
