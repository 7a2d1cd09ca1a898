#include "tests/support/memory_io.h"

#include <algorithm>
#include <utility>

#include "win/failure.h"

namespace zarn::testing {

TMemorySource::TMemorySource(std::string bytes, std::size_t most, std::uint32_t seed, std::size_t failAfter)
    : bytes_(std::move(bytes)), most_(most), failAfter_(failAfter), random_(seed) {}

namespace {

constexpr char kAheadPattern = '\xA5';

}  // namespace

void TMemorySource::ReadAhead(char* buffer, std::size_t capacity, TPieceWork* work) noexcept {
    aheadBuffer_ = buffer;
    aheadCapacity_ = capacity;
    aheadWork_ = work;
    std::fill_n(buffer, capacity, kAheadPattern);
}

std::size_t TMemorySource::Read(char* buffer, std::size_t capacity) {
    TPieceWork* const work = std::exchange(aheadWork_, nullptr);
    if (aheadBuffer_ != nullptr) {
        const bool untouched = std::all_of(aheadBuffer_, aheadBuffer_ + aheadCapacity_, [](char c) { return c == kAheadPattern; });
        const bool same = buffer == aheadBuffer_ && capacity == aheadCapacity_;
        aheadBuffer_ = nullptr;
        if (!same) throw TFailure(u"read into another buffer than the one read ahead");
        if (!untouched) throw TFailure(u"buffer read ahead was changed before its read");
    }
    ++reads_;
    if (pos_ >= failAfter_) throw TFailure(u"read failed");
    std::size_t count = std::uniform_int_distribution<std::size_t>(1, std::max<std::size_t>(most_, 1))(random_);
    count = std::min({count, capacity, bytes_.size() - pos_, failAfter_ - pos_});
    std::copy_n(bytes_.data() + pos_, count, buffer);
    pos_ += count;
    if (work != nullptr) work->Run(count);
    return count;
}

}  // namespace zarn::testing
