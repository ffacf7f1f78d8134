#include "installer/CommandLine.h"

#include "system/Registration.h"

#include <windows.h>
#include <shellapi.h>

#include <string_view>

namespace {

constexpr wchar_t kSilentSwitch[] = L"/autoinst";
constexpr wchar_t kVisibleSwitch[] = L"/autostart";
constexpr wchar_t kLogSwitch[] = L"/log";
constexpr wchar_t kLogPathSwitch[] = L"/log=";

} // namespace

CommandLine parseCommandLine(const std::vector<std::wstring>& args)
{
    CommandLine line;
    if (!args.empty() && args.front() == kSilentSwitch)
        line.automatic = CommandLine::Automatic::Silent;
    if (!args.empty() && args.front() == kVisibleSwitch)
        line.automatic = CommandLine::Automatic::Visible;
    if (!args.empty() && args.front() == kSilentUninstallSwitch)
        line.automatic = CommandLine::Automatic::SilentUninstall;
    for (const std::wstring& arg : args) {
        if (arg == kLogSwitch) {
            line.log = true;
        } else if (std::wstring_view(arg).starts_with(kLogPathSwitch)) {
            line.log = true;
            line.logPath = arg.substr(std::wstring_view(kLogPathSwitch).size());
        }
    }
    return line;
}

CommandLine::Automatic honouredSwitch(const CommandLine& line, bool installMode)
{
    const bool uninstallSwitch = line.automatic == CommandLine::Automatic::SilentUninstall;
    return installMode == uninstallSwitch ? CommandLine::Automatic::None : line.automatic;
}

std::vector<std::wstring> programArguments()
{
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!args)
        return {};
    std::vector<std::wstring> result(args + (count > 0 ? 1 : 0), args + count);
    ::LocalFree(args);
    return result;
}
