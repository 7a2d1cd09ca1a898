// Code pages for the native tests, standing in for the platform's converters, and byte sources
// and sinks in memory.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "textfile/text_stream.h"

namespace zarn::testing {

// Latin-1 with a best-fit for the typographic single quotes and "?" for anything else.
class TLatin1CodePage final : public TCodePage {
public:
    const TCodePageShape& Shape() const override { return shape_; }
    std::size_t Decode(std::string_view bytes, char16_t* out) override;
    std::size_t MaxBytesPerUnit() const override { return 1; }
    std::size_t Encode(std::u16string_view text, char* out) override;

private:
    TCodePageShape shape_;
};

// A double-byte code page shaped like the East Asian ones: lead bytes 81-9F and E0-FC take the
// next non-zero byte as their trail, whatever it is; a lead byte without one becomes U+30FB.
class TDoubleByteCodePage final : public TCodePage {
public:
    TDoubleByteCodePage();
    const TCodePageShape& Shape() const override { return shape_; }
    std::size_t Decode(std::string_view bytes, char16_t* out) override;
    std::size_t MaxBytesPerUnit() const override { return 2; }
    std::size_t Encode(std::u16string_view text, char* out) override;

private:
    TCodePageShape shape_;
};

// UTF-8: strict (a malformed buffer throws TFailure with the text "bad UTF-8") or lenient
// (each byte of a malformed sequence becomes U+FFFD).
class TUtf8CodePage final : public TCodePage {
public:
    explicit TUtf8CodePage(bool strict);
    const TCodePageShape& Shape() const override { return shape_; }
    std::size_t Decode(std::string_view bytes, char16_t* out) override;
    std::size_t MaxBytesPerUnit() const override { return 3; }
    std::size_t Encode(std::u16string_view text, char* out) override;

private:
    TCodePageShape shape_;
    bool strict_;
};

// Gives its bytes in reads of random size, from 1 to most bytes; can fail after failAfter bytes.
// A buffer named by ReadAhead is filled with a pattern at once and with the bytes only at the
// next Read, which fails when the pattern was changed meanwhile or the buffer is another: so
// a reader that uses the buffer too early, or names the wrong one, shows in its result.
class TMemorySource final : public TByteSource {
public:
    TMemorySource(std::string bytes, std::size_t most, std::uint32_t seed, std::size_t failAfter = SIZE_MAX);
    std::size_t Read(char* buffer, std::size_t capacity) override;
    void ReadAhead(char* buffer, std::size_t capacity) noexcept override;
    std::size_t Reads() const { return reads_; }

private:
    std::string bytes_;
    std::size_t most_;
    std::size_t pos_ = 0;
    std::size_t failAfter_;
    std::size_t reads_ = 0;
    std::mt19937 random_;
    char* aheadBuffer_ = nullptr;
    std::size_t aheadCapacity_ = 0;
};

// Takes the bytes of a Write only at the next Write or Settle, as a sink that writes in the
// background may: bytes changed before then show in the result.
class TMemorySink final : public TByteSink {
public:
    void Write(const char* bytes, std::size_t count) override {
        Settle();
        pending_ = std::string_view(bytes, count);
    }
    void Settle() noexcept override {
        bytes_.append(pending_);
        pending_ = {};
    }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
    std::string_view pending_;
};

}  // namespace zarn::testing
