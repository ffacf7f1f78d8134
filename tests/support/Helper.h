// The mark helper: a small program that records how it was started.
#pragma once

#include "system/Handles.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

// Path of mark_helper.exe beside the running test.
std::wstring markHelperPath();
// Copies the helper to FOLDER under NAME (for tests that look processes up by
// name) and returns the copy's path.
std::wstring copyMarkHelper(const std::filesystem::path& folder, const std::wstring& name);
// Command line that makes the helper write its mark to MARK and then stay
// alive for STAYMS milliseconds before it exits with EXITCODE.
std::wstring markHelperCommand(const std::wstring& helper, const std::filesystem::path& mark, int stayMs = 0,
                               int exitCode = 0);
// Waits (bounded) until FILE exists, holds something and its writer has let
// go of it, so that it reads whole; false on time-out.
bool waitForFile(const std::filesystem::path& file, std::chrono::milliseconds limit = std::chrono::seconds(20));
// CreateProcessW of COMMAND in FOLDER (the current one when null), tried
// again for a while when it fails: on a busy machine Wine fails a start now
// and then when the new process cannot finish its own set-up in time. ERROR
// gets the system's error of the last try (0 when it started).
bool createProcessPatiently(std::wstring command, const wchar_t* folder, PROCESS_INFORMATION& info, DWORD& error);
// Starts COMMAND directly; the process handle, empty when it did not start.
win::Handle startProcess(std::wstring command);
// Makes LINK a symbolic link to the file or folder TARGET: a Windows one, or
// under Wine a Unix one; false when neither can be made.
bool makeLink(const std::filesystem::path& link, const std::filesystem::path& target);
// Polls CONDITION until it holds or LIMIT has passed; false on time-out.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(20));
