// Paths as the system gives them. Text is UTF-16.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zarn {

// The full path of the program's own file, whole however long it is.
std::u16string ProgramPath();

// The path expanded to a full path against the current directory; the path itself if that fails.
std::u16string FullPath(const std::u16string& path);

// The path to hand to the system's file calls: the path as it is while its full path stays below
// MAX_PATH, so that the system judges it as given (wildcards, invalid names); else its full path in
// the long form ("\\?\C:\..." or "\\?\UNC\server\share\..."), which Windows takes at any length
// whatever its long-path policy. A path in the long or device form already is kept as it is.
std::u16string LongPath(const std::u16string& path);

// The long form of a full path ("C:\..." or "\\server\share\..."), as LongPath gives it.
std::u16string LongFormOf(std::u16string_view fullPath);

// The path of an open file as the system resolves it, links followed ("\\?\" form); empty when
// the system cannot tell.
std::u16string FinalPath(HANDLE file);

}  // namespace zarn
