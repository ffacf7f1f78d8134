// Starting and stopping other processes. The installer runs elevated, so the
// product is started with the desktop shell's token to run as the plain user.
#pragma once

#include "Handles.h"

#include <windows.h>

#include <string>

// Starts COMMANDLINE with a duplicate of the desktop shell's token (or of the
// program's own token), on Windows XP with plain process creation. WORKDIR
// empty means none. With WAIT, returns the exit code of the started process;
// otherwise nonzero when a process was started and 0, with the reason in the
// thread's last error, when none was.
DWORD runAsDesktopUser(const std::wstring& commandLine, bool useOwnToken, bool showWindow,
                       const std::wstring& workDir, bool wait);

// A system DLL loaded by its full path in the system folder, never by bare
// name (which would find one planted beside the program first).
win::Module loadSystemLibrary(const std::wstring& name);

// CreateProcessWithTokenW resolved at run time (absent before Vista); false
// when advapi32 cannot be loaded or lacks it.
bool createProcessWithToken(HANDLE token, DWORD logonFlags, const wchar_t* applicationName,
                            wchar_t* commandLine, DWORD creationFlags, void* environment,
                            const wchar_t* currentDirectory, STARTUPINFOW* startupInfo,
                            PROCESS_INFORMATION* processInfo);

// The first running process whose executable name equals NAME ignoring case,
// opened with query rights; an empty handle when none runs.
win::Handle findProcessByName(const std::wstring& name);
// Terminates every process whose executable name equals NAME (trimmed, ASCII
// letters compared in upper case). True when all of them were terminated,
// also when none was running; otherwise the last error tells why one was not.
bool killProcessByName(const std::wstring& name);
bool enablePrivilege(HANDLE process, const std::wstring& privilegeName);

// Shell "open" of a file in its own folder, normal window. The shell shows no
// error box; false, with the reason in the last error, when it did not open.
bool shellOpenIn(const std::wstring& path);
// Shell "open" of a web address, maximised, done by the desktop's shell
// (Explorer) so that the browser runs with the desktop user's rights, not
// the installer's. When the desktop's shell cannot be reached the page is not
// opened, rather than opened elevated.
void openUrl(const std::wstring& target);

// True when the system's major version number is above 5 (Vista and later).
bool isVistaOrLater();
