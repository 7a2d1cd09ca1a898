// A byte source and a byte sink in memory, which hold a reader and a writer to the contracts of
// files that read ahead and write behind in the background.
#pragma once

#include <cstdint>
#include <deque>
#include <random>
#include <string>

#include "textfile/text_stream.h"

namespace zarn::testing {

// Gives its bytes in reads of random size, from 1 to most bytes; can fail after failAfter bytes.
// A buffer named by ReadAhead is filled with a pattern at once and with the bytes only at the
// next Read, which fails when the pattern was changed meanwhile or the buffer is another: so
// a reader that uses the buffer too early, or names the wrong one, shows in its result. The work
// named with it runs in that Read, after the bytes are in, as a source's thread would run it.
class TMemorySource final : public TByteSource {
public:
    TMemorySource(std::string bytes, std::size_t most, std::uint32_t seed, std::size_t failAfter = SIZE_MAX);
    std::size_t Read(char* buffer, std::size_t capacity) override;
    void ReadAhead(char* buffer, std::size_t capacity, TPieceWork* work) noexcept override;
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
    TPieceWork* aheadWork_ = nullptr;
};

// Takes the bytes of a Write only when kWritesBehind more Writes, or Settle, have come, as a sink
// that writes in the background may: bytes changed before then show in the result.
class TMemorySink final : public TByteSink {
public:
    void Write(const char* bytes, std::size_t count) override {
        pending_.emplace_back(bytes, count);
        if (pending_.size() > kWritesBehind) {
            bytes_.append(pending_.front());
            pending_.pop_front();
        }
    }
    void Settle() noexcept override {
        for (const std::string_view bytes : pending_) bytes_.append(bytes);
        pending_.clear();
    }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
    std::deque<std::string_view> pending_;
};

}  // namespace zarn::testing
