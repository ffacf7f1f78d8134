// The command line. Only the first argument can start an automatic install,
// and only as exactly "/autoinst" (silent) or "/autostart" (visible);
// anything else there means an interactive run. "/log" and "/log=PATH" ask
// for a log, wherever they stand.
#pragma once

#include <string>
#include <vector>

struct CommandLine {
    enum class Automatic { None, Silent, Visible };
    Automatic automatic = Automatic::None;
    bool log = false;
    // The log's path; empty for the default place.
    std::wstring logPath;
};

// ARGS without the program's own name.
CommandLine parseCommandLine(const std::vector<std::wstring>& args);
// The running program's arguments.
std::vector<std::wstring> programArguments();
