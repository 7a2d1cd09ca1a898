// The temporary files that the output is written to, beside the file they are to replace: their
// names, and the removal of those that ended runs left behind.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zarn {

// The name of a temporary file that process makes for the file named destinationName:
// ~zarn<process>-<attempt>-<hash of destinationName>.tmp, in hexadecimal. A run that finds one
// left behind by an ended run removes it only while that file is there, so that it never removes
// the only copy of a file's content.
std::u16string TemporaryFileName(DWORD process, unsigned attempt, std::u16string_view destinationName);

// Removes the temporary files in folder (which ends in a separator) that are provably abandoned:
// left behind by a run that was killed between making its file permanent and putting it in place,
// or by a system that went down meanwhile. One goes only when all of these hold:
// - no running process has its writer's id (an id taken by a process that runs now is doubt);
// - its destination is there, so that it is never the only copy of a file's content;
// - it is not read-only (a run keeps a file so when the new content could not take its place);
// - nobody holds it open (waiting out a short hold).
// A running writer's file is never touched: its process runs, and it holds its file open from
// creation until the file has taken its destination's place. No clock is compared with another.
void SweepTemporaries(const std::u16string& folder);

}  // namespace zarn
