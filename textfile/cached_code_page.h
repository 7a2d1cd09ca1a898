// A code page that answers from tables of another code page's answers (the platform's), each
// asked for once, when first needed; what no table can answer, the other answers itself. So its
// conversions are byte for byte the other's, at the cost of a table lookup. Platform-free.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "textfile/encoding.h"
#include "textfile/kernels.h"

namespace zarn {

class TCachedCodePage final : public TCodePage, public TAnsiFastPaths {
public:
    // kernels: the variant of the hot loops (the double-byte check, UTF-8 into the code page).
    explicit TCachedCodePage(TCodePage& authority, const TKernels& kernels = Kernels());
    TCachedCodePage(const TCachedCodePage&) = delete;
    TCachedCodePage& operator=(const TCachedCodePage&) = delete;
    const TCodePageShape& Shape() const override { return shape_; }
    std::size_t MaxBytesPerUnit() const override { return authority_.MaxBytesPerUnit(); }
    // UTF-8 that is well-formed is decoded by its definition; anything else by the authority,
    // which may fail.
    std::size_t Decode(std::string_view bytes, char16_t* out) override;
    // Unit by unit, from a table of the authority's encoding of each unit alone; surrogates,
    // whose encoding depends on their neighbours, by the authority.
    std::size_t Encode(std::u16string_view text, char* out) override;
    std::optional<std::size_t> EncodeUtf8(std::string_view bytes, char* out) override;
    bool RoundTrips(std::string_view bytes) override;

private:
    std::uint32_t Encoded(char16_t unit) {
        const std::uint32_t entry = encoded_[unit];
        return entry != 0 ? entry : FillEncodedPage(unit);
    }
    std::uint32_t FillEncodedPage(char16_t unit);
    // Where a stretch of UTF-8 being encoded is read and where its bytes go, after a step, and
    // whether the step could be taken.
    struct TLane {
        const unsigned char* p;
        char* o;
        bool ok;
    };
    TLane CarefulStep(TLane lane, const unsigned char* stop);
    bool SingleRoundTrips(unsigned byte) const { return singles_[byte >> 6] >> (byte & 63) & 1; }
    // A clear bit of a pair: it does not come back, or its lead byte has not been asked about yet.
    bool PairKnownToRoundTrip(unsigned pair) const { return pairs_[pair >> 6] >> (pair & 63) & 1; }
    bool PairRoundTrips(unsigned lead, unsigned trail);
    bool DecodesToOneUnitThatComesBack(std::string_view bytes);
    void FindPlainLeads(std::string_view bytes);

    TCodePage& authority_;
    const TCodePageShape shape_;  // the authority's
    // [unit]: its bytes and their count, as one word (see unit_bytes); 0 where not asked yet.
    std::vector<std::uint32_t> encoded_;
    // Round trips of an ANSI code page, as bits: of each byte that is no lead byte, asked for at
    // construction, and of each pair (bit lead * 256 + trail), asked for all pairs of a lead byte
    // when the first of them is met.
    std::array<std::uint64_t, 4> singles_{};
    std::array<std::uint64_t, 256 * 256 / 64> pairs_{};
    std::array<bool, 256> leadAsked_{};
    bool asciiRoundTrips_ = false;  // every byte below 0x80 comes back as itself
    bool asciiEncodesAsItself_ = false;  // every unit below U+0080 is written as that byte alone
    const TKernels& kernels_;
    // For the quick check of double-byte text: the lead bytes and the single bytes that come back,
    // from construction, and the plain lead bytes with their trails, found when the first
    // double-byte text is checked (every pair asked then).
    TDoubleByteSets doubleByteSets_;
    bool plainFound_ = false;
};

}  // namespace zarn
