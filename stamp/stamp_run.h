// The stamping run on Windows: the files of a start stamped into the output folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "stamp/startup_settings.h"
#include "textfile/cached_code_page.h"
#include "textfile/text_file.h"
#include "textfile/win32_code_page.h"

namespace zarn {

// The date stamp for today with the separator of settings, carried through their ANSI code page
// as 8-bit text and back, so that a separator the code page cannot hold is replaced the way the
// code page replaces it. Fails with the invalid date message for a year outside 1 to 9999, and
// with the invalid code page message when a conversion fails.
std::u16string TodaysStamp(const TStartupSettings& settings);

// The stamping of one start: each file named into outputFolder under the same name, with the
// date separator and ANSI code page of settings and one date, taken at the first file. No output
// is written twice: a file named again is passed over, and a file whose output would take a name
// that this start wrote already is refused.
class TStampRun {
public:
    TStampRun(std::u16string outputFolder, const TStartupSettings& settings);
    TStampRun(const TStampRun&) = delete;
    TStampRun& operator=(const TStampRun&) = delete;

    // Stamps the file at inputPath. Failures throw TFailure. Where the text lost characters that
    // the ANSI code page replaced, or a last odd byte of UTF-16: a copy is written, then TWarning
    // says so; the input itself is not replaced, and TFailure says so.
    void Stamp(const std::u16string& inputPath);

private:
    void Commit(TOutputFile& output, const std::u16string& outputPath);

    const std::u16string outputFolder_;
    const TStartupSettings settings_;
    std::optional<std::u16string> stamp_;  // the date stamp of the start, once taken
    std::optional<TWin32CodePage> ansiPlatform_;  // the ANSI code page and its caches, for every file
    std::optional<TCachedCodePage> ansi_, aheadAnsi_;
    std::vector<std::u16string> inputs_;   // final paths of the inputs opened so far
    std::vector<std::u16string> outputs_;  // final paths of the outputs written so far
};

}  // namespace zarn
