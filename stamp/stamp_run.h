// The stamping run on Windows: the input file stamped into the output folder.
#pragma once

#include <string>

#include "stamp/startup_settings.h"

namespace zarn {

// Stamps the file at inputPath into outputFolder under the same name, with the date separator
// and ANSI code page of settings. Failures throw TFailure.
void StampRun(const std::u16string& inputPath, const std::u16string& outputFolder, const TStartupSettings& settings);

}  // namespace zarn
