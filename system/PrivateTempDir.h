// The folder of one run for the files that the elevated program writes and
// later reads or runs: the package, the framework installer, the payment
// code picture, the self-delete script. The user's temporary folder does not
// do for them: any unelevated process of the user may replace a file there
// between its write and its use.
//
// The folder is made on first use inside the system's temporary folder,
// which only administrators can change or list, under a random name, with an
// access list that lets only administrators and the system in. It is held
// open for the run, so that nobody renames or removes it meanwhile, and at
// the end of the run it is removed with the files in it, except those handed
// to programs that outlive the run. Used from one thread.
#pragma once

#include "system/Handles.h"

#include <string>

// The system's temporary folder ("%SystemRoot%\Temp\"), whose name no user
// can point elsewhere; "" when the system does not tell its Windows folder.
std::wstring systemTempFolder();
// The folder, ending with a backslash; "" when it cannot be made.
std::wstring getPrivateTempDir();
// NAME inside that folder; "" when there is no folder.
std::wstring privateTempPath(const std::wstring& name);
// FILE, inside that folder, stays at the end of the run: a program started
// from it ends after this one and removes it, and then the folder, itself.
void keepAfterRun(const std::wstring& file);

// The security descriptor the folder is made with (owner: Administrators;
// a protected access list that gives Administrators and the system full
// control, inherited by everything inside); empty if it cannot be built.
win::LocalMemory privateFolderSecurity();

// The same for a folder whose programs users start but must not change: the
// users may besides read and run what is inside.
win::LocalMemory readableFolderSecurity();
// Makes FOLDER anew with readableFolderSecurity: whatever had its name is
// removed first (a link as a link), so that no file or access list from
// before stays. False when it cannot be removed or made.
bool makeReadableFolder(const std::wstring& folder);
