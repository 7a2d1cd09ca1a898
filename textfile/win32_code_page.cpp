#include "textfile/win32_code_page.h"

#include <algorithm>

#include "win/failure.h"
#include "win/messages.h"
#include "win/utf16.h"

namespace zarn {

TWin32CodePage::TWin32CodePage(UINT codePage, DWORD decodeFlags, std::u16string invalidText)
    : codePage_(codePage), decodeFlags_(decodeFlags), invalidText_(std::move(invalidText)) {
    CPINFOEXW info;
    if (!GetCPInfoExW(codePage, 0, &info)) throw TFailure(LoadMessage(IDS_CODE_PAGE_INVALID));
    isUtf8_ = info.CodePage == CP_UTF8;
    maxBytesPerUnit_ = isUtf8_ ? 3 : info.MaxCharSize;  // UTF-8: a pair of surrogates gives four bytes, two units
    const std::size_t defaultBytes = info.DefaultChar[1] != 0 && maxBytesPerUnit_ > 1 ? 2 : 1;
    defaultCharacter_.assign(reinterpret_cast<const char*>(info.DefaultChar), defaultBytes);
    jisNames_ = JisNames(info.CodePage);
    for (const TJisName& name : jisNames_) {
        char bytes[8];
        BOOL usedDefault = FALSE;
        const int count = WideCharToMultiByte(codePage_, 0, Wide(&name.unit), 1, bytes, sizeof bytes, nullptr, &usedDefault);
        if (count == 0 || usedDefault) writtenAsJis_.push_back(name);
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

std::size_t TWin32CodePage::EncodeByPlatform(std::u16string_view text, char* out) {
    if (text.empty()) return 0;
    const int count = WideCharToMultiByte(codePage_, 0, Wide(text.data()),
                                          static_cast<int>(text.size()), out,
                                          static_cast<int>(text.size() * maxBytesPerUnit_), nullptr, nullptr);
    if (count == 0) throw TFailure(LoadMessage(IDS_WRITE_FAILED));  // never drop text silently
    return static_cast<std::size_t>(count);
}

std::size_t TWin32CodePage::Encode(std::u16string_view text, char* out) {
    return EncodeKeepingRecords(text, out, defaultCharacter_,
                                [this](std::u16string_view part, char* to) { return EncodeWithJisNames(part, to); });
}

// The stretches between the JIS characters by the platform, each JIS character by its bytes.
std::size_t TWin32CodePage::EncodeWithJisNames(std::u16string_view text, char* out) {
    if (writtenAsJis_.empty()) return EncodeByPlatform(text, out);
    char* o = out;
    for (;;) {
        std::size_t at = 0;
        const TJisName* name = nullptr;
        for (; at < text.size() && name == nullptr; ++at) {
            const auto found = std::find_if(writtenAsJis_.begin(), writtenAsJis_.end(),
                                            [&](const TJisName& each) { return each.unit == text[at]; });
            if (found != writtenAsJis_.end()) name = &*found;
        }
        if (name == nullptr) return static_cast<std::size_t>(o - out) + EncodeByPlatform(text, o);
        o += EncodeByPlatform(text.substr(0, at - 1), o);
        *o++ = name->bytes[0];
        *o++ = name->bytes[1];
        text.remove_prefix(at);
    }
}

bool TWin32CodePage::Replaces(std::u16string_view character) {
    const bool jisName = character.size() == 1 && std::any_of(jisNames_.begin(), jisNames_.end(), [&](const TJisName& name) {
                             return name.unit == character[0];
                         });
    return !jisName && ReplacedByConversion(*this, character);
}

}  // namespace zarn
