#include "app/shell_text.h"

namespace zarn {

std::u16string TitleStem(std::u16string_view programPath) {
    const std::size_t slash = programPath.rfind(u'\\');
    std::u16string_view name = slash == std::u16string_view::npos ? programPath : programPath.substr(slash + 1);
    return std::u16string(name.substr(0, name.find(u'.')));
}

std::u16string ReportText(std::u16string_view message) {
    std::u16string text(message);
    if (!text.empty() && text.back() > u'.') text += u'.';
    return text;
}

}  // namespace zarn
