// Paths as the system gives them. Text is UTF-16.
#pragma once

#include <string>

namespace zarn {

// The full path of the program's own file, whole however long it is.
std::u16string ProgramPath();

// The path expanded to a full path against the current directory; the path itself if that fails.
std::u16string FullPath(const std::u16string& path);

}  // namespace zarn
