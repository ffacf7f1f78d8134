// Turning a name stored in a zip archive into a path below the destination.
#pragma once

#include <string>

// The stored NAME ("/" or "\" separated) as a relative Windows path, with "."
// segments dropped and ".." resolved. False for a name that is absolute, has
// a drive or device prefix, climbs above the destination, names a device
// ("CON", "nul.txt") or holds a character Windows does not allow in a name.
// A name of folders only (ending in a separator) gives a path ending in "\".
bool entryRelativePath(const std::wstring& name, std::wstring& relative);
