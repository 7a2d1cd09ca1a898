#include "textfile/win32_code_page.h"

#include "win/failure.h"
#include "win/messages.h"
#include "win/utf16.h"

namespace zarn {

TWin32CodePage::TWin32CodePage(UINT codePage, DWORD decodeFlags, std::u16string invalidText)
    : codePage_(codePage), decodeFlags_(decodeFlags), invalidText_(std::move(invalidText)) {
    CPINFOEXW info;
    if (!GetCPInfoExW(codePage, 0, &info)) throw TFailure(LoadMessage(IDS_CODE_PAGE_INVALID));
    if (info.CodePage == CP_UTF8) {
        shape_.kind = TCodePageShape::TKind::Utf8;
        maxBytesPerUnit_ = 3;  // a pair of surrogates gives four bytes, two units
    } else if (info.MaxCharSize > 1) {
        shape_.kind = TCodePageShape::TKind::DoubleByte;
        for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
            for (int byte = info.LeadByte[i]; byte <= info.LeadByte[i + 1]; ++byte) shape_.leadByte[byte] = true;
        }
        maxBytesPerUnit_ = info.MaxCharSize;
    }
}

// Pieces are converted into buffers of a size known to suffice (at most one unit per byte, at
// most maxBytesPerUnit_ bytes per unit), so each conversion is one call with explicit lengths.
std::size_t TWin32CodePage::Decode(std::string_view bytes, char16_t* out) {
    if (bytes.empty()) return 0;
    // No byte gives more than one unit, so out's room of bytes.size() units always suffices.
    const int count = MultiByteToWideChar(codePage_, decodeFlags_, bytes.data(), static_cast<int>(bytes.size()),
                                          Wide(out), static_cast<int>(bytes.size()));
    if (count == 0) throw TFailure(invalidText_);
    return static_cast<std::size_t>(count);
}

std::size_t TWin32CodePage::Encode(std::u16string_view text, char* out) {
    if (text.empty()) return 0;
    const int count = WideCharToMultiByte(codePage_, 0, Wide(text.data()),
                                          static_cast<int>(text.size()), out,
                                          static_cast<int>(text.size() * maxBytesPerUnit_), nullptr, nullptr);
    if (count == 0) throw TFailure(LoadMessage(IDS_WRITE_FAILED));  // never drop text silently
    return static_cast<std::size_t>(count);
}

}  // namespace zarn
