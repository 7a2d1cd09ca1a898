// The temporary files that the output is written to, beside the file they are to replace: their
// names, their mark for deletion, and the removal of those that ended runs left behind.
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

// While a file is marked, the system deletes it when its last handle closes, also when the
// process is killed. file: opened with DELETE access. False when the mark could not be set.
bool MarkForDeletion(HANDLE file, bool mark);

// Removes the temporary files in folder (which ends in a separator) that ended runs left behind
// (a run killed between making its file permanent and putting it in place, or a system that went
// down meanwhile): those that nobody holds open, whose writer has ended and whose destination is
// there, so that none is the only copy of a file's content. A running writer's file is never
// touched: it holds its file open, and while it puts it in place its process runs.
void SweepTemporaries(const std::u16string& folder);

}  // namespace zarn
