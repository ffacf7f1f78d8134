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

namespace {

// FILE holds something and opens for a plain reader (std::ifstream, which
// does not share deletion). A file renamed into place, as the mark helper
// does, appears while the renaming process still holds it open for deletion;
// until that handle is closed a plain reader cannot open it, and a removal
// would leave the file in place until then.
bool holdsSomethingAndIsLetGo(const fs::path& file)
{
    const win::FileHandle opened(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    return opened && ::GetFileSizeEx(opened.get(), &size) && size.QuadPart > 0;
}

} // namespace

bool waitForFile(const fs::path& file, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!holdsSomethingAndIsLetGo(file)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool createProcessPatiently(std::wstring command, const wchar_t* folder, PROCESS_INFORMATION& info, DWORD& error)
{
    constexpr auto kLimit = std::chrono::seconds(10);
    constexpr auto kPause = std::chrono::milliseconds(200);
    const auto until = std::chrono::steady_clock::now() + kLimit;
    for (;;) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        info = {};
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &info)) {
            error = 0;
            return true;
        }
        error = ::GetLastError();
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(kPause);
    }
}

win::Handle startProcess(std::wstring command)
{
    PROCESS_INFORMATION info{};
    DWORD error = 0;
    if (!createProcessPatiently(std::move(command), nullptr, info, error))
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

namespace {

// The Unix path of a Windows one under Wine; "" elsewhere.
std::string unixPath(const fs::path& path)
{
    using ToUnix = char*(CDECL*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = toUnix ? toUnix(path.c_str()) : nullptr;
    if (!name)
        return {};
    std::string text = name;
    ::HeapFree(::GetProcessHeap(), 0, name);
    return text;
}

} // namespace

bool makeLink(const fs::path& link, const fs::path& target)
{
    const DWORD kind = fs::is_directory(target) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
    std::error_code ec;
    if (::CreateSymbolicLinkW(link.c_str(), target.c_str(), kind | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        fs::exists(link, ec))
        return true;
    // Wine reports success without making the link; a Unix one, which Wine
    // shows as a link in folder listings, is made by the system's own tool.
    const std::string from = unixPath(target), to = unixPath(link);
    if (from.empty() || to.empty())
        return false;
    // A Unix program needs standard handles that are Unix files.
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    const win::FileHandle nul(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            &inherit, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
    PROCESS_INFORMATION info{};
    std::wstring command = L"Z:\\bin\\ln -s \"" + std::wstring(from.begin(), from.end()) + L"\" \"" +
                           std::wstring(to.begin(), to.end()) + L"\"";
    if (!nul || !::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return false;
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    // Wine does not tell when a Unix program has ended: wait for its result.
    return waitUntil([&] { return fs::exists(link, ec); }, std::chrono::seconds(10));
}
