// Files and folders opened without following a junction or symbolic link,
// so that decisions are made on what was opened, not on a name that another
// process can point elsewhere between the check and the use.
#pragma once

#include "Handles.h"

#include <windows.h>

#include <string>

// PATH itself (a link is opened as the link), with ACCESS besides reading its
// attributes. Others may read and write it meanwhile, but not rename or
// delete it: a folder held this way keeps its place, and so does every name
// below it.
win::FileHandle openNoFollow(const std::wstring& path, DWORD access);
// The attributes of the opened file or folder; INVALID_FILE_ATTRIBUTES when
// they cannot be read.
DWORD attributesOf(HANDLE opened);
// A folder that is neither a junction nor a symbolic link.
bool isRealFolder(DWORD attributes);
// The folder PATH, made when missing, opened as openNoFollow opens it with
// the right to pass through it; empty when it cannot be made or opened, or is
// a junction or symbolic link (looked at on the handle, and on the name, which
// is all that Wine tells of a Unix link). Held, it stays a real folder.
win::FileHandle openRealFolder(const std::wstring& path);
// Clears the read-only, hidden and system attributes of the opened file,
// folder or link (ATTRIBUTES, as read from it), keeping the others; true when
// none was set or all are cleared. What a planted file's attributes ask for
// must not stop its replacement or removal.
bool clearProtection(HANDLE opened, DWORD attributes);
// Marks the opened file, folder or link for deletion when the handle closes,
// clearing its protection first; a link goes,
// not what it points to. False when it cannot be deleted (in use, a folder
// that is not empty).
bool deleteOpened(HANDLE opened, DWORD attributes);
