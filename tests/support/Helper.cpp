#include "Helper.h"

#include "system/util.h"

#include <thread>

namespace fs = std::filesystem;

std::wstring markHelperPath() { return getExeDir() + L"mark_helper.exe"; }

std::wstring copyMarkHelper(const fs::path& folder, const std::wstring& name)
{
    const fs::path copy = folder / name;
    fs::copy_file(markHelperPath(), copy, fs::copy_options::overwrite_existing);
    return copy.wstring();
}

std::wstring markHelperCommand(const std::wstring& helper, const fs::path& mark, int stayMs, int exitCode)
{
    return L"\"" + helper + L"\" \"" + mark.wstring() + L"\" " + std::to_wstring(stayMs) + L" " +
           std::to_wstring(exitCode);
}

bool waitForFile(const fs::path& file, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    std::error_code ec;
    while (!(fs::exists(file, ec) && fs::file_size(file, ec) > 0)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

win::Handle startProcess(std::wstring command)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return {};
    ::CloseHandle(info.hThread);
    return win::Handle(info.hProcess);
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}
