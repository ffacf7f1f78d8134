// A file put in the place of whatever has its name, in a folder that others
// may write while the elevated program writes there.
#pragma once

#include <string>

// Copies SOURCE's bytes to TARGET. They go into a new file beside TARGET,
// which is then renamed over it through its own handle, so that nobody can
// swap it between the write and the rename; a file already at TARGET loses
// its read-only, hidden and system attributes first, and a link there is
// replaced as a link, what it points to untouched. SOURCE cannot be changed,
// renamed or deleted while it is read. False, with the system's error as the
// last error, when TARGET could not be replaced (in use, a folder of that
// name): the new file is gone again.
bool copyReplacing(const std::wstring& source, const std::wstring& target);
