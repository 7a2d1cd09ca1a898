// Whole texts through a code page, for tests.
#pragma once

#include <string>
#include <string_view>

#include "textfile/encoding.h"

namespace zarn::testing {

inline std::string Encoded(TCodePage& codePage, std::u16string_view text) {
    std::string bytes(text.size() * codePage.MaxBytesPerUnit(), '\0');
    bytes.resize(text.empty() ? 0 : codePage.Encode(text, bytes.data()));
    return bytes;
}

inline std::u16string Decoded(TCodePage& codePage, std::string_view bytes) {
    std::u16string text(bytes.size(), u'\0');
    text.resize(bytes.empty() ? 0 : codePage.Decode(bytes, text.data()));
    return text;
}

}  // namespace zarn::testing
