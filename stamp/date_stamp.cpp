#include "stamp/date_stamp.h"

namespace zarn {

namespace {

void AppendDigits(std::u16string& text, int value, int digits) {
    for (int scale = digits == 4 ? 1000 : 10; scale > 0; scale /= 10) text += static_cast<char16_t>(u'0' + value / scale % 10);
}

}  // namespace

std::optional<std::u16string> RenderDateStamp(int year, int month, int day, char16_t separator) {
    if (year < 1 || year > 9999) return std::nullopt;
    std::u16string stamp = u",";
    AppendDigits(stamp, year, 4);
    if (separator != 0) stamp += separator;
    AppendDigits(stamp, month, 2);
    if (separator != 0) stamp += separator;
    AppendDigits(stamp, day, 2);
    return stamp;
}

}  // namespace zarn
