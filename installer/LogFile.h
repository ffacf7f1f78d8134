// The run's log file: UTF-8 lines, each with the local time, written at once
// so that nothing is lost when the program ends abruptly.
#pragma once

#include "system/Handles.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class LogFile {
public:
    // Appends to PATH, made when missing. Nothing is ever deleted, and this
    // elevated program never writes through a link: a name that is a link
    // (symbolic link or junction), a folder, or a file with other names
    // besides (a hard link) is refused. Null when the file is refused or
    // cannot be opened.
    static std::shared_ptr<LogFile> create(const std::wstring& path);

    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    const std::wstring& path() const { return path_; }
    // One line; from any thread.
    void line(std::wstring_view text);

private:
    LogFile(win::FileHandle file, std::wstring path);

    win::FileHandle file_;
    std::wstring path_;
    std::mutex mutex_;
};

// The file of the log that is open (a run has at most one), for a last line
// written where nothing may be allocated or locked: a crash. Null when no log
// is open.
HANDLE openLogFile();

// Where the log goes when no path is given: the system's temporary folder
// (the user's could be pointed anywhere), "<name>-install.log" or
// "<name>-uninstall.log", NAME being the product's id (the program's file
// name when there is none) with whatever a file name cannot hold replaced.
std::wstring defaultLogPath(const std::wstring& name, bool installMode);
