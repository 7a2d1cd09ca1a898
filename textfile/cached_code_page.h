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

class TCachedCodePage final : public TCodePage, public TAnsiEncoder {
public:
    // kernels: the variant of the hot loops (UTF-8 into the code page).
    explicit TCachedCodePage(TCodePage& authority, const TKernels& kernels = Kernels());
    TCachedCodePage(const TCachedCodePage&) = delete;
    TCachedCodePage& operator=(const TCachedCodePage&) = delete;
    bool IsUtf8() const override { return isUtf8_; }
    std::size_t MaxBytesPerUnit() const override { return authority_.MaxBytesPerUnit(); }
    // UTF-8 that is well-formed is decoded by its definition; anything else by the authority,
    // which may fail.
    std::size_t Decode(std::string_view bytes, char16_t* out) override;
    // Unit by unit, from a table of the authority's encoding of each unit alone; surrogates,
    // whose encoding depends on their neighbours, by the authority.
    std::size_t Encode(std::u16string_view text, char* out) override;
    // The same, counting what was replaced from the same tables.
    std::size_t Encode(std::u16string_view text, char* out, TReplacements& replaced) override;
    // A unit from the table; a surrogate pair or a lone surrogate by the authority.
    bool Replaces(std::u16string_view character) override;
    std::optional<std::size_t> EncodeUtf8(std::string_view bytes, char* out) override;

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
    TCodePage& authority_;
    const bool isUtf8_;  // the authority's
    // [unit]: its bytes and their count, as one word (see unit_bytes); 0 where not asked yet.
    std::vector<std::uint32_t> encoded_;
    bool asciiEncodesAsItself_ = false;  // every unit below U+0080 is written as that byte alone
    const TKernels& kernels_;
};

}  // namespace zarn
