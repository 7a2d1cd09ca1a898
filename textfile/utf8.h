// UTF-8 decoded by its definition: exact, so no table or platform call is needed. Platform-free.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace zarn {

// Decodes well-formed UTF-8 into UTF-16, a character above U+FFFF as a surrogate pair. out has
// room for bytes.size() units. Nothing when the bytes are not well-formed UTF-8: a sequence cut
// short, a stray continuation byte, an overlong form, an encoded surrogate, a value above
// U+10FFFF, or a byte that UTF-8 never uses (C0, C1, F5 to FF).
std::optional<std::size_t> DecodeUtf8(std::string_view bytes, char16_t* out);

}  // namespace zarn
