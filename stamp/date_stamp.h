// The date stamp appended to every record: a comma, then year, month and day. Platform-free.
#pragma once

#include <optional>
#include <string>

namespace zarn {

// ",yyyy<sep>mm<sep>dd" with ASCII digits, the year padded to four digits and month and day to
// two. A separator of U+0000 means none. Empty when the year cannot be written (outside 1..9999).
std::optional<std::u16string> RenderDateStamp(int year, int month, int day, char16_t separator);

}  // namespace zarn
