#include "stamp/path_rules.h"

namespace zarn {

std::u16string FolderOf(std::u16string_view path) {
    const std::size_t last = path.find_last_of(u"\\:");
    if (last == std::u16string_view::npos) return {};
    const bool dropLast = path[last] == u'\\' && last >= 1 && path[last - 1] != u'\\' && path[last - 1] != u':';
    return std::u16string(path.substr(0, dropLast ? last : last + 1));
}

std::u16string_view FileNameOf(std::u16string_view path) {
    const std::size_t last = path.find_last_of(u"\\/:");
    return last == std::u16string_view::npos ? path : path.substr(last + 1);
}

std::u16string OutputPath(std::u16string_view outputFolder, std::u16string_view inputPath) {
    std::u16string path(outputFolder);
    path += u'\\';
    path += FileNameOf(inputPath);
    return path;
}

}  // namespace zarn
