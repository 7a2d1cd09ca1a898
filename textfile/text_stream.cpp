#include "textfile/text_stream.h"

#include <algorithm>
#include <cstring>

namespace zarn {

namespace {

// Bytes that may be carried from one piece to the next: an odd byte of UTF-16, the start of a
// UTF-8 sequence, or what follows the last whole character of a double-byte code page
// (WholeCharacterBytes looks back at most 256 bytes).
constexpr std::size_t kCarryBytes = 256;

// Bytes checked at a time for being all ASCII.
constexpr std::size_t kBlockBytes = 64 * 1024;

// Reads in two buffers by turns: while the bytes of one are worked on, the source may fill the
// other. The bytes held over from a piece (a cut character) are put just before the next piece,
// in room kept free at the front of each buffer.
class TReader {
public:
    TReader(TByteSource& source, TCodePage& ansi, TCodePage& utf8, TTextSink& sink, std::size_t pieceBytes)
        : source_(source), ansi_(ansi), utf8_(utf8), sink_(sink), pieceBytes_(pieceBytes),
          buffers_{std::vector<char>(kCarryBytes + pieceBytes), std::vector<char>(kCarryBytes + pieceBytes)},
          data_(buffers_[0].data() + kCarryBytes), units_(pieceBytes + kCarryBytes) {}
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
            case TEncoding::Utf8: Bytes(utf8_, atEnd); break;
            case TEncoding::Ansi: Bytes(ansi_, atEnd); break;
            }
            if (atEnd) break;
            atEnd = !Fill();
        }
        if (open_) sink_.End();
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
        if (open_) {
            std::memcpy(units_.data(), data_, count * 2);  // the host is little-endian
            if (bigEndian) {
                for (std::size_t i = 0; i < count; ++i) units_[i] = static_cast<char16_t>(units_[i] << 8 | units_[i] >> 8);
            }
            open_ = sink_.Text(std::u16string_view(units_.data(), count));
        }
        Consume(atEnd ? held_ : count * 2);  // a last odd byte is dropped
    }

    // Decodes the whole characters held, in blocks: a block of ASCII, or of ANSI characters that
    // come back unchanged from the code page, goes on as it is; any other through the code page.
    void Bytes(TCodePage& codePage, bool atEnd) {
        const std::size_t whole = atEnd ? held_ : WholeCharacterBytes(codePage.Shape(), std::string_view(data_, held_));
        std::size_t pos = 0;
        while (pos < whole) {
            std::string_view block(data_ + pos, std::min(kBlockBytes, whole - pos));
            if (IsAscii(block)) {
                if (open_) open_ = sink_.Bytes(block);
            } else {
                if (pos + block.size() < whole) block = block.substr(0, WholeCharacterBytes(codePage.Shape(), block));
                if (&codePage == &ansi_ && open_ && ansi_.RoundTrips(block)) {
                    open_ = sink_.Bytes(block);
                } else if (open_ || &codePage == &utf8_) {
                    // After the end of the text only UTF-8 is still decoded, for its validity.
                    const std::size_t count = codePage.Decode(block, units_.data());
                    if (open_) open_ = sink_.Text(std::u16string_view(units_.data(), count));
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
    bool open_ = true;
};

}  // namespace

void ReadText(TByteSource& source, TCodePage& ansi, TCodePage& utf8, TTextSink& sink, std::size_t pieceBytes) {
    TReader(source, ansi, utf8, sink, pieceBytes).Run();
}

TTextWriter::TTextWriter(TCodePage& ansi, TByteSink& sink, std::u16string_view recordEnd, std::size_t pieceBytes)
    : ansi_(ansi), sink_(sink), buffers_{std::vector<char>(pieceBytes), std::vector<char>(pieceBytes)},
      out_(buffers_[0].data()), capacity_(pieceBytes), stagedText_(pieceBytes / ansi.MaxBytesPerUnit()),
      recordEnd_(recordEnd) {
    recordLineEnd_.resize(recordEnd.size() * ansi.MaxBytesPerUnit());
    recordLineEnd_.resize(recordEnd.empty() ? 0 : ansi.Encode(recordEnd, recordLineEnd_.data()));
    recordLineEnd_ += "\r\n";
}

void TTextWriter::Text(std::u16string_view text) {
    while (!text.empty()) {
        if (staged_ == stagedText_.size()) EncodeStaged(false);
        const std::size_t count = std::min(text.size(), stagedText_.size() - staged_);
        CopyBytes(reinterpret_cast<char*>(stagedText_.data() + staged_), reinterpret_cast<const char*>(text.data()),
                  count * sizeof(char16_t));
        staged_ += count;
        text.remove_prefix(count);
    }
}

void TTextWriter::BytesSlow(const char* bytes, std::size_t count) {
    if (staged_ != 0) EncodeStaged(true);  // the text before them, a waiting high surrogate too
    while (count > 0) {
        if (used_ == capacity_) Flush();
        const std::size_t done = std::min(count, capacity_ - used_);
        CopyBytes(out_ + used_, bytes, done);
        used_ += done;
        bytes += done;
        count -= done;
    }
}

namespace {

// Narrows UTF-16 units below 0x80 to bytes, which are the same text in any ANSI code page.
void NarrowAscii(const char16_t* text, std::size_t count, char* out) {
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<char>(text[i]);
}

}  // namespace

// Encodes the staged text into the output bytes. Unless final, a high surrogate at its end stays
// staged for the unit that follows it.
void TTextWriter::EncodeStaged(bool final) {
    const bool hold = !final && staged_ > 0 && IsHighSurrogate(stagedText_[staged_ - 1]);
    const std::size_t count = staged_ - (hold ? 1 : 0);
    if (capacity_ - used_ < count * ansi_.MaxBytesPerUnit()) Flush();
    char* out = out_ + used_;
    const std::u16string_view text(stagedText_.data(), count);
    if (IsAscii(text)) {
        NarrowAscii(text.data(), count, out);
        used_ += count;
    } else {
        used_ += ansi_.Encode(text, out);
    }
    if (hold) stagedText_[0] = stagedText_[staged_ - 1];
    staged_ = hold ? 1 : 0;
}

void TTextWriter::Finish() {
    if (staged_ != 0) EncodeStaged(true);
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
