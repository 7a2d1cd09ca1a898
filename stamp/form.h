// The stored properties of a window, as the program file carries them (an RCDATA resource named
// after the window's class). Platform-free reader.
//
// Byte layout (integers little-endian):
//   "TPF0"                      signature
//   name                        class name
//   name                        component name
//   { name value }*  0x00       properties in the order they are applied; an empty name ends them
//   0x00                        child components: none (an empty list)
// name:   1 byte length (1..255), then that many ASCII bytes; a zero length ends a list
// value:  1 byte type, then
//   0x01 integer     4 bytes, signed
//   0x02 string      2 bytes count of UTF-16 code units, then the units (2 bytes each)
//   0x03 identifier  name
//   0x04 false       nothing
//   0x05 true        nothing
//   0x06 set         { name }* 0x00
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zarn {

struct TIdentifier {
    std::string name;
    bool operator==(const TIdentifier&) const = default;
};
using TSetValue = std::vector<std::string>;
using TFormValue = std::variant<std::int32_t, std::u16string, TIdentifier, bool, TSetValue>;

struct TFormProperty {
    std::string name;  // dotted for nested properties: "Font.Name"
    TFormValue value;
    bool operator==(const TFormProperty&) const = default;
};

struct TFormDescription {
    std::string className;
    std::string componentName;
    std::vector<TFormProperty> properties;
};

// Reads the bytes; bytes that do not follow the layout throw TFailure(corruptText).
TFormDescription ReadForm(std::string_view bytes, const std::u16string& corruptText);

}  // namespace zarn
