// Starting and stopping other processes. The installer runs elevated, so the
// product is started with the desktop shell's token to run as the plain user.
#pragma once

#include "Handles.h"

#include <windows.h>

#include <string>

// Starts COMMANDLINE with a duplicate of the desktop shell's token (the
// Explorer of this process's own session), or of the program's own token, on
// Windows XP with plain process creation. WORKDIR empty means none. With
// WAIT, returns the exit code of the started process; otherwise nonzero when
// a process was started and 0, with the reason in the thread's last error,
// when none was.
DWORD runAsDesktopUser(const std::wstring& commandLine, bool useOwnToken, bool showWindow,
                       const std::wstring& workDir, bool wait);

// Starts PROGRAM, a full path, with ARGUMENTS by CreateProcessW, with this
// process's own token and never through the shell, whose handler lookup
// merges the user's classes (HKCU\Software\Classes) even in an elevated
// process. WORKDIR empty: PROGRAM's folder. HELD, when given, is duplicated
// into the started process before it runs, so that it stays open as long as
// that process (a file held against writers while it is run). Not waited
// for; false, with the reason in the thread's last error, when nothing
// started.
bool startProgram(const std::wstring& program, const std::wstring& arguments, const std::wstring& workDir,
                  HANDLE held = nullptr);
// A batch file run by the system folder's command interpreter, without its
// AutoRun commands, in the script's folder; HELD as for startProgram. False
// with ERROR_BAD_PATHNAME for a path that the interpreter would expand ("%",
// "!").
bool startScript(const std::wstring& script, HANDLE held = nullptr);
// Whether PATH names a program (".exe") or a batch file (".bat", ".cmd"),
// ignoring case.
bool isProgramFile(const std::wstring& path);
bool isScriptFile(const std::wstring& path);

// A system DLL loaded by its full path in the system folder, never by bare
// name (which would find one planted beside the program first).
win::Module loadSystemLibrary(const std::wstring& name);

// CreateProcessWithTokenW resolved at run time (absent before Vista); false
// when advapi32 cannot be loaded or lacks it.
bool createProcessWithToken(HANDLE token, DWORD logonFlags, const wchar_t* applicationName,
                            wchar_t* commandLine, DWORD creationFlags, void* environment,
                            const wchar_t* currentDirectory, STARTUPINFOW* startupInfo,
                            PROCESS_INFORMATION* processInfo);

// The session this process runs in.
DWORD currentSession();
// The first running process of SESSION whose executable name equals NAME
// ignoring case, opened with query rights; an empty handle when none runs.
win::Handle findProcessByName(const std::wstring& name, DWORD session = currentSession());
// Terminates every process of SESSION whose executable name equals NAME
// (trimmed, ASCII letters compared in upper case); another user's copies, in
// sessions of their own, are left alone. True when all of them were
// terminated, also when none was running; otherwise the last error tells why
// one was not.
bool killProcessByName(const std::wstring& name, DWORD session = currentSession());
bool enablePrivilege(HANDLE process, const std::wstring& privilegeName);

// Shell "open" of a web address, maximised, done by the desktop's shell
// (Explorer) so that the browser runs with the desktop user's rights, not
// the installer's. When the desktop's shell cannot be reached the page is not
// opened, rather than opened elevated.
void openUrl(const std::wstring& target);

// True when the system's major version number is above 5 (Vista and later).
bool isVistaOrLater();
