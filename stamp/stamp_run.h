// The stamping run on Windows: the input file stamped into the output folder.
#pragma once

#include <string>

namespace zarn {

// Read once at start-up, before the main window exists: the locale's date separator (a slash
// when the locale's is not one character) and the ANSI code page.
void ReadStartupSettings();

// Stamps the file at inputPath into outputFolder under the same name. Failures throw TFailure.
void StampRun(const std::u16string& inputPath, const std::u16string& outputFolder);

}  // namespace zarn
