// Splitting the command line into arguments by the program's own rules. Platform-free; UTF-16
// text throughout.
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

}  // namespace zarn
