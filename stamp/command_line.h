// Splitting the command line into arguments by the program's own rules. Platform-free; UTF-16
// text throughout.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

// One splitting step from position pos: skips separators (U+0001 to U+0020) and empty quote
// pairs, then collects an argument; a double quote opens or closes a quoted stretch and is
// dropped; there is no escape character. Leaves pos where collecting stopped. An empty result
// means no argument is left. U+0000 ends the text.
std::u16string NextArgument(std::u16string_view line, std::size_t& pos);

// The arguments after argument 0 (the program), in order, up to the first empty one: none is
// empty.
std::vector<std::u16string> SplitCommandLine(std::u16string_view line);

}  // namespace zarn
