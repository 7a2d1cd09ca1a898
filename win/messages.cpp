#include "win/messages.h"

#include "win/utf16.h"

namespace zarn {

std::u16string LoadMessage(UINT id) {
    const wchar_t* text = nullptr;
    // With a zero buffer size the call hands out a pointer into the resource itself.
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::u16string(U16(text, static_cast<std::size_t>(length))) : std::u16string();
}

std::u16string FillMessage(std::u16string_view format, std::initializer_list<std::u16string_view> values) {
    std::u16string text;
    auto value = values.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's' && value != values.end()) {
            text += *value++;
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

std::u16string SystemMessage(DWORD error) {
    wchar_t buffer[256];
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, error, 0,
        buffer, 256, nullptr);
    std::u16string text(U16(buffer, length));
    while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) text.pop_back();
    return text;
}

}  // namespace zarn
