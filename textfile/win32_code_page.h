// The platform's code-page conversions behind TCodePage.
#pragma once

#include <windows.h>

#include <string>

#include "textfile/encoding.h"

namespace zarn {

// A code page of the platform (CP_ACP or CP_UTF8), every conversion one call of the platform:
// the authority that TCachedCodePage caches. Construction fails with the invalid code page
// message when the system does not know it. invalidText: the failure when bytes do not decode
// (with MB_ERR_INVALID_CHARS among decodeFlags).
class TWin32CodePage final : public TCodePage {
public:
    TWin32CodePage(UINT codePage, DWORD decodeFlags, std::u16string invalidText);
    const TCodePageShape& Shape() const override { return shape_; }
    std::size_t Decode(std::string_view bytes, char16_t* out) override;
    std::size_t MaxBytesPerUnit() const override { return maxBytesPerUnit_; }
    std::size_t Encode(std::u16string_view text, char* out) override;

private:
    UINT codePage_;
    DWORD decodeFlags_;
    std::u16string invalidText_;
    TCodePageShape shape_;
    std::size_t maxBytesPerUnit_ = 1;
};

}  // namespace zarn
