// The command line. Only the first argument can start an automatic run, and
// only as exactly "/autoinst" (silent install), "/autostart" (visible
// install) or "/autouninst" (silent uninstall); anything else there means an
// interactive run. Which of them a program honours depends on its mode.
// "/log" and "/log=PATH" ask for a log, wherever they stand.
#pragma once

#include <string>
#include <vector>

struct CommandLine {
    enum class Automatic { None, Silent, Visible, SilentUninstall };
    Automatic automatic = Automatic::None;
    bool log = false;
    // The log's path; empty for the default place.
    std::wstring logPath;
};

// ARGS without the program's own name.
CommandLine parseCommandLine(const std::vector<std::wstring>& args);
// The switch the program honours in its mode: the installer takes the two
// install switches, the uninstaller only "/autouninst".
CommandLine::Automatic honouredSwitch(const CommandLine& line, bool installMode);
// The running program's arguments.
std::vector<std::wstring> programArguments();
