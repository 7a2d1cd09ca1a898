#include "stamp/path_rules.h"

namespace zarn {

namespace {

std::size_t LastSlashOrColon(std::u16string_view path) { return path.find_last_of(u"\\:"); }

}  // namespace

std::u16string FolderOf(std::u16string_view path) {
    const std::size_t last = LastSlashOrColon(path);
    if (last == std::u16string_view::npos) return {};
    const bool dropLast = path[last] == u'\\' && last >= 1 && path[last - 1] != u'\\' && path[last - 1] != u':';
    return std::u16string(path.substr(0, dropLast ? last : last + 1));
}

std::u16string_view FileNameOf(std::u16string_view path) {
    const std::size_t last = LastSlashOrColon(path);
    return last == std::u16string_view::npos ? path : path.substr(last + 1);
}

std::u16string OutputPath(std::u16string_view outputFolder, std::u16string_view inputPath) {
    std::u16string path(outputFolder);
    path += u'\\';
    path += FileNameOf(inputPath);
    return path;
}

}  // namespace zarn
