// Test helper. Usage: mark_helper [MARKFILE [STAYMS [EXITCODE]]]
// Writes its working folder, its command line and the executable name of the
// process that started it to MARKFILE (UTF-8), one a line, then stays alive
// STAYMS milliseconds and exits with EXITCODE. Started without arguments (as a
// program the installer opens), the mark goes beside it: its own path
// followed by ".mark".
#include "system/Encoding.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

namespace {

std::wstring parentName()
{
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return {};
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    DWORD parent = 0;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == ::GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    std::wstring name;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == parent)
            name = entry.szExeFile;
    ::CloseHandle(snapshot);
    return name;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t cwd[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, cwd);
    const std::string record =
        win::toUtf8(std::wstring(cwd) + L"\n" + ::GetCommandLineW() + L"\n" + parentName() + L"\n");

    // Written under a temporary name and renamed, so a reader never sees half.
    const std::wstring mark = argc > 1 ? std::wstring(argv[1]) : std::wstring(self) + L".mark";
    const std::wstring partial = mark + L".part";
    if (FILE* f = _wfopen(partial.c_str(), L"wb")) {
        std::fwrite(record.data(), 1, record.size(), f);
        std::fclose(f);
        ::MoveFileExW(partial.c_str(), mark.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    if (argc > 2)
        ::Sleep(static_cast<DWORD>(_wtoi(argv[2])));
    return argc > 3 ? _wtoi(argv[3]) : 0;
}
