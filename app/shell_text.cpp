#include "app/shell_text.h"

#include <string>

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

std::u16string StartReportText(const std::vector<TReportEntry>& entries, std::u16string_view more) {
    std::u16string text;
    std::size_t shown = 0;
    for (const bool failures : {true, false}) {
        for (const TReportEntry& entry : entries) {
            if (entry.failure != failures || shown == kShownEntries) continue;
            if (shown++ != 0) text += u"\n\n";
            text += entry.failure ? ReportText(entry.text) : entry.text;
        }
    }
    if (entries.size() > shown) {
        const std::string count = std::to_string(entries.size() - shown);
        std::u16string line(more);
        if (const std::size_t at = line.find(u"%s"); at != std::u16string::npos) {
            line.replace(at, 2, std::u16string(count.begin(), count.end()));
        }
        text += u"\n\n" + line;
    }
    return text;
}

}  // namespace zarn
