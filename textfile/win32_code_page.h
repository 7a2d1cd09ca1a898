// The platform's code-page conversions behind TCodePage.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "textfile/encoding.h"

namespace zarn {

// A code page of the platform (CP_ACP or CP_UTF8). Construction fails with the invalid code page
// message when the system does not know it. invalidText: the failure when bytes do not decode
// (with MB_ERR_INVALID_CHARS among decodeFlags).
class TWin32CodePage final : public TCodePage {
public:
    TWin32CodePage(UINT codePage, DWORD decodeFlags, std::u16string invalidText);
    const TCodePageShape& Shape() const override { return shape_; }
    std::size_t Decode(std::string_view bytes, char16_t* out) override;
    std::size_t MaxBytesPerUnit() const override { return maxBytesPerUnit_; }
    std::size_t Encode(std::u16string_view text, char* out) override;
    // By tables that are filled once, on first use, from the platform's own conversions.
    bool RoundTrips(std::string_view bytes) override;

private:
    void FillRoundTripTables();

    UINT codePage_;
    DWORD decodeFlags_;
    std::u16string invalidText_;
    TCodePageShape shape_;
    std::size_t maxBytesPerUnit_ = 1;
    bool roundTripTablesFilled_ = false;
    std::vector<bool> singleRoundTrips_;  // [byte]: a byte that is no lead byte comes back as itself
    std::vector<bool> pairRoundTrips_;    // [lead * 256 + trail], trail 0x40 and above
};

}  // namespace zarn
