// The stamping run on Windows: the input file stamped into the output folder.
#pragma once

#include <string>

#include "stamp/startup_settings.h"

namespace zarn {

// The date stamp for today with the separator of settings, carried through their ANSI code page
// as 8-bit text and back, so that a separator the code page cannot hold is replaced the way the
// code page replaces it. Fails with the invalid date message for a year outside 1 to 9999, and
// with the invalid code page message when a conversion fails.
std::u16string TodaysStamp(const TStartupSettings& settings);

// Stamps the file at inputPath into outputFolder under the same name, with the date separator
// and ANSI code page of settings. Failures throw TFailure. Where the ANSI code page replaced
// characters of the text: a copy is written, then TWarning says so; the input itself is not
// replaced, and TFailure says so.
void StampRun(const std::u16string& inputPath, const std::u16string& outputFolder, const TStartupSettings& settings);

}  // namespace zarn
