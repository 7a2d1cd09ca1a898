// The path rules: the folder and file name of a path, and where the output goes. Platform-free;
// UTF-16 text throughout. A forward slash is no separator; a colon is one wherever it stands.
#pragma once

#include <string>
#include <string_view>

namespace zarn {

// The folder of a path: up to its last backslash or colon, dropping that backslash unless it is
// the first character or follows a backslash or colon (C:\ and \\ keep theirs).
std::u16string FolderOf(std::u16string_view path);

// Everything after the last backslash or colon, or the whole path.
std::u16string_view FileNameOf(std::u16string_view path);

// The output folder, a backslash and the input's file name, joined as they are.
std::u16string OutputPath(std::u16string_view outputFolder, std::u16string_view inputPath);

}  // namespace zarn
