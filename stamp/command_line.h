// The command line and the paths derived from it. Platform-free; UTF-16 text throughout.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zarn {

// One splitting step from position pos: skips separators (U+0001 to U+0020) and empty quote
// pairs, then collects an argument; a double quote opens or closes a quoted stretch and is
// dropped; there is no escape character. Leaves pos where collecting stopped. An empty result
// means no argument is left. U+0000 ends the text.
std::u16string NextArgument(std::u16string_view line, std::size_t& pos);

struct TArguments {
    std::size_t count = 0;   // arguments after argument 0, up to the first empty one
    std::u16string first;    // argument 1; empty when count is 0
};

TArguments SplitCommandLine(std::u16string_view line);

// The folder of a path: up to its last backslash or colon, dropping that backslash unless it is
// the first character or follows a backslash or colon (C:\ and \\ keep theirs).
std::u16string FolderOf(std::u16string_view path);

// Everything after the last backslash or colon, or the whole path.
std::u16string_view FileNameOf(std::u16string_view path);

// The output folder, a backslash and the input's file name, joined as they are.
std::u16string OutputPath(std::u16string_view outputFolder, std::u16string_view inputPath);

}  // namespace zarn
