#include "win/paths.h"

#include <windows.h>

#include "win/utf16.h"

namespace zarn {

std::u16string ProgramPath() {
    // A path that fills the whole buffer was cut: ask again with more room, up to the longest
    // path the system has (32767 units).
    std::u16string path(MAX_PATH + 1, u'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(path.size());
        const DWORD length = GetModuleFileNameW(nullptr, Wide(path.data()), size);
        if (length < size || size > 32767) {
            path.resize(length < size ? length : size);
            return path;
        }
        path.assign(2 * path.size(), u'\0');
    }
}

std::u16string FullPath(const std::u16string& path) {
    const DWORD size = GetFullPathNameW(Wide(path), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::u16string buffer(size, u'\0');
    const DWORD length = GetFullPathNameW(Wide(path), size, Wide(buffer.data()), nullptr);
    if (length == 0 || length >= size) return path;
    buffer.resize(length);
    return buffer;
}

std::u16string LongFormOf(std::u16string_view fullPath) {
    if (fullPath.starts_with(u"\\\\?\\") || fullPath.starts_with(u"\\\\.\\")) return std::u16string(fullPath);
    if (fullPath.starts_with(u"\\\\")) return u"\\\\?\\UNC\\" + std::u16string(fullPath.substr(2));
    return u"\\\\?\\" + std::u16string(fullPath);
}

std::u16string LongPath(const std::u16string& path) {
    if (path.starts_with(u"\\\\?\\") || path.starts_with(u"\\\\.\\")) return path;
    const std::u16string full = FullPath(path);
    return full.size() < MAX_PATH ? path : LongFormOf(full);
}

std::u16string FinalPath(HANDLE file) {
    std::u16string path(MAX_PATH + 1, u'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(file, Wide(path.data()), static_cast<DWORD>(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.assign(length + 1, u'\0');  // too small: length is the size needed
    }
}

}  // namespace zarn
