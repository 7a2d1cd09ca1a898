// The platform's code-page conversions behind TCodePage.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "textfile/encoding.h"

namespace zarn {

// A code page of the platform (CP_ACP or CP_UTF8), every conversion one call of the platform:
// the authority that TCachedCodePage caches. Construction fails with the invalid code page
// message when the system does not know it. invalidText: the failure when bytes do not decode
// (with MB_ERR_INVALID_CHARS among decodeFlags). Where the code page holds JIS characters under
// other names (JisNames) and the platform has no mapping of its own for one (it writes its default
// character), that character is written as the JIS character's bytes; the platform is asked once.
// A best fit that would be a record mark is written as the code page's default character
// (EncodeKeepingRecords).
class TWin32CodePage final : public TCodePage {
public:
    TWin32CodePage(UINT codePage, DWORD decodeFlags, std::u16string invalidText);
    bool IsUtf8() const override { return isUtf8_; }
    std::size_t Decode(std::string_view bytes, char16_t* out) override;
    std::size_t MaxBytesPerUnit() const override { return maxBytesPerUnit_; }
    std::size_t Encode(std::u16string_view text, char* out) override;
    bool Replaces(std::u16string_view character) override;

private:
    std::size_t EncodeWithJisNames(std::u16string_view text, char* out);
    std::size_t EncodeByPlatform(std::u16string_view text, char* out);

    UINT codePage_;
    DWORD decodeFlags_;
    std::u16string invalidText_;
    bool isUtf8_ = false;
    std::size_t maxBytesPerUnit_ = 1;
    std::string defaultCharacter_;            // its bytes, as the system gives them
    std::span<const TJisName> jisNames_;      // of this code page
    std::vector<TJisName> writtenAsJis_;      // of them, those the platform does not map
};

}  // namespace zarn
