// The path rules: the folder and file name of a path, and where the output goes. Platform-free;
// UTF-16 text throughout.
#pragma once

#include <string>
#include <string_view>

namespace zarn {

// The folder of the program's path as the system gives it: up to its last backslash or colon,
// dropping that backslash unless it is the first character or follows a backslash or colon
// (C:\ and \\ keep theirs). The system writes no forward slash there, so none counts.
std::u16string FolderOf(std::u16string_view path);

// The file name of an input path as a user may type it: everything after the last backslash,
// forward slash or colon (each is a separator to the system), or the whole path.
std::u16string_view FileNameOf(std::u16string_view path);

// The output folder, a backslash and the input's file name, joined as they are.
std::u16string OutputPath(std::u16string_view outputFolder, std::u16string_view inputPath);

}  // namespace zarn
