// The program's messages: the texts of its string table, filled in, and the system's texts for
// error codes. Text is UTF-16.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "win/message_ids.h"

namespace zarn {

// A message of the program's string table (an IDS_ identifier), verbatim.
std::u16string LoadMessage(UINT id);

// A message template with its "%s" placeholders filled in order.
std::u16string FillMessage(std::u16string_view format, std::initializer_list<std::u16string_view> values);

// The system's text for an error code, with spaces, control characters and full stops removed
// from its end; empty when there is none or it does not fit 256 units.
std::u16string SystemMessage(DWORD error);

}  // namespace zarn
