#include "stamp/command_line.h"

namespace zarn {

namespace {

char16_t At(std::u16string_view line, std::size_t pos) { return pos < line.size() ? line[pos] : u'\0'; }

bool IsSeparator(char16_t unit) { return unit >= 1 && unit <= 32; }

}  // namespace

std::u16string NextArgument(std::u16string_view line, std::size_t& pos) {
    for (;;) {
        const char16_t unit = At(line, pos);
        if (IsSeparator(unit)) ++pos;
        else if (unit == u'"' && At(line, pos + 1) == u'"') pos += 2;
        else break;
    }
    std::u16string argument;
    for (char16_t unit = At(line, pos); unit > 32; unit = At(line, pos)) {
        ++pos;
        if (unit != u'"') {
            argument += unit;
            continue;
        }
        for (unit = At(line, pos); unit != 0 && unit != u'"'; unit = At(line, pos)) {
            argument += unit;
            ++pos;
        }
        if (unit == u'"') ++pos;
    }
    return argument;
}

std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
    std::vector<std::u16string> arguments;
    std::size_t pos = 0;
    NextArgument(line, pos);  // argument 0, the program, is not used
    for (;;) {
        std::u16string argument = NextArgument(line, pos);
        if (argument.empty()) return arguments;
        arguments.push_back(std::move(argument));
    }
}

}  // namespace zarn
