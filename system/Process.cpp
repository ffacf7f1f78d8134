#include "Process.h"

#include "util.h"

#include <tlhelp32.h>

#include <cwchar>
#include <vector>

namespace {

constexpr wchar_t kDesktopShell[] = L"Explorer.exe";
constexpr wchar_t kDebugPrivilege[] = L"SeDebugPrivilege";
constexpr wchar_t kAdvapi[] = L"Advapi32.dll";
constexpr char kCreateProcessWithToken[] = "CreateProcessWithTokenW";
constexpr wchar_t kCommandInterpreter[] = L"cmd.exe";
// No AutoRun commands from the registry (the user's own among them); the
// script's quoted path is quoted once more, as "/c" strips one pair.
constexpr wchar_t kRunScript[] = L" /d /c \"\"";
constexpr wchar_t kRunScriptEnd[] = L"\"\"";
// Expanded by the command interpreter even inside quotes.
constexpr wchar_t kExpandedByInterpreter[] = L"%!";
constexpr wchar_t kProgramExtension[] = L".exe";
constexpr const wchar_t* kScriptExtensions[] = {L".bat", L".cmd"};

using CreateProcessWithTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR,
                                               LPSTARTUPINFOW, LPPROCESS_INFORMATION);

// Calls VISIT(entry) for every running process of SESSION until it returns
// false.
template <typename Visit>
void forEachProcess(DWORD session, Visit visit)
{
    const win::SnapshotHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        DWORD itsSession = 0;
        if (!::ProcessIdToSessionId(entry.th32ProcessID, &itsSession) || itsSession != session)
            continue;
        if (!visit(entry))
            return;
    }
}

bool isBlankOrControl(wchar_t c) { return c <= L' '; }

std::wstring trimUpperAscii(std::wstring_view text)
{
    while (!text.empty() && isBlankOrControl(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlankOrControl(text.back()))
        text.remove_suffix(1);
    std::wstring out(text);
    for (wchar_t& c : out)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return out;
}

DWORD majorVersion()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    ::GetVersionExW(&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return info.dwMajorVersion;
}

std::wstring folderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool endsWith(const std::wstring& path, const wchar_t* extension)
{
    const size_t length = std::wcslen(extension);
    return path.size() > length && ::lstrcmpiW(path.c_str() + path.size() - length, extension) == 0;
}

} // namespace

bool isVistaOrLater()
{
    static const bool vista = majorVersion() > 5;
    return vista;
}

win::Module loadSystemLibrary(const std::wstring& name)
{
    return win::Module(::LoadLibraryW((getSystemDir() + name).c_str()));
}

bool createProcessWithToken(HANDLE token, DWORD logonFlags, const wchar_t* applicationName,
                            wchar_t* commandLine, DWORD creationFlags, void* environment,
                            const wchar_t* currentDirectory, STARTUPINFOW* startupInfo,
                            PROCESS_INFORMATION* processInfo)
{
    const win::Module advapi = loadSystemLibrary(kAdvapi);
    if (!advapi)
        return false;
    const auto create = reinterpret_cast<CreateProcessWithTokenFn>(
        reinterpret_cast<void*>(::GetProcAddress(advapi.get(), kCreateProcessWithToken)));
    return create && create(token, logonFlags, applicationName, commandLine, creationFlags, environment,
                            currentDirectory, startupInfo, processInfo);
}

DWORD runAsDesktopUser(const std::wstring& commandLine, bool useOwnToken, bool showWindow,
                       const std::wstring& workDir, bool wait)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showWindow ? SW_SHOWNORMAL : SW_HIDE;
    PROCESS_INFORMATION info{};
    std::vector<wchar_t> command(commandLine.begin(), commandLine.end());
    command.push_back(L'\0');
    const wchar_t* folder = workDir.empty() ? nullptr : workDir.c_str();

    bool started = false;
    if (isVistaOrLater()) {
        win::Handle shell;
        if (!useOwnToken)
            shell = findProcessByName(kDesktopShell, currentSession());
        const HANDLE source = useOwnToken ? ::GetCurrentProcess() : shell.get();
        if (!source) {
            // No desktop shell runs (a service session, a shell of another name).
            ::SetLastError(ERROR_NOT_FOUND);
            return 0;
        }
        win::Handle token, primary;
        if (!::OpenProcessToken(source, MAXIMUM_ALLOWED, token.put()) ||
            !::DuplicateTokenEx(token.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                                primary.put()))
            return 0;
        started = createProcessWithToken(primary.get(), 0, nullptr, command.data(), 0, nullptr, folder, &startup,
                                         &info);
    } else {
        started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE,
                                   nullptr, folder, &startup, &info) != FALSE;
    }
    if (!started)
        return 0;

    const win::Handle process(info.hProcess), thread(info.hThread);
    if (!wait)
        return 1;
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.get(), &exitCode);
    return exitCode;
}

bool startProgram(const std::wstring& program, const std::wstring& arguments, const std::wstring& workDir,
                  HANDLE held)
{
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    std::vector<wchar_t> command(commandLine.begin(), commandLine.end());
    command.push_back(L'\0');
    const std::wstring folder = workDir.empty() ? folderOf(program) : workDir;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    // Suspended until it holds its copy of HELD.
    if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE,
                          CREATE_DEFAULT_ERROR_MODE | CREATE_SUSPENDED, nullptr, folder.c_str(), &startup, &info))
        return false;
    const win::Handle process(info.hProcess), thread(info.hThread);
    HANDLE copy = nullptr;
    if (held && !::DuplicateHandle(::GetCurrentProcess(), held, process.get(), &copy, 0, FALSE,
                                   DUPLICATE_SAME_ACCESS)) {
        const DWORD error = ::GetLastError();
        ::TerminateProcess(process.get(), 1);
        ::SetLastError(error);
        return false;
    }
    ::ResumeThread(thread.get());
    return true;
}

bool startScript(const std::wstring& script, HANDLE held)
{
    if (script.find_first_of(kExpandedByInterpreter) != std::wstring::npos) {
        ::SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    return startProgram(getSystemDir() + kCommandInterpreter, kRunScript + script + kRunScriptEnd, folderOf(script),
                        held);
}

bool isProgramFile(const std::wstring& path) { return endsWith(path, kProgramExtension); }

bool isScriptFile(const std::wstring& path)
{
    for (const wchar_t* extension : kScriptExtensions)
        if (endsWith(path, extension))
            return true;
    return false;
}

DWORD currentSession()
{
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    return session;
}

win::Handle findProcessByName(const std::wstring& name, DWORD session)
{
    win::Handle found;
    forEachProcess(session, [&](const PROCESSENTRY32W& entry) {
        if (::lstrcmpiW(entry.szExeFile, name.c_str()) != 0)
            return true;
        found.reset(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID));
        return false;
    });
    return found;
}

bool killProcessByName(const std::wstring& name, DWORD session)
{
    const std::wstring wanted = trimUpperAscii(name);
    DWORD failure = ERROR_SUCCESS;
    forEachProcess(session, [&](const PROCESSENTRY32W& entry) {
        if (trimUpperAscii(entry.szExeFile) != wanted)
            return true;
        enablePrivilege(::GetCurrentProcess(), kDebugPrivilege);
        const win::Handle process(::OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (!process || !::TerminateProcess(process.get(), 1))
            failure = ::GetLastError();
        return true;
    });
    ::SetLastError(failure);
    return failure == ERROR_SUCCESS;
}

bool enablePrivilege(HANDLE process, const std::wstring& privilegeName)
{
    win::Handle token;
    TOKEN_PRIVILEGES privileges{};
    if (!::OpenProcessToken(process, TOKEN_ADJUST_PRIVILEGES, token.put()) ||
        !::LookupPrivilegeValueW(nullptr, privilegeName.c_str(), &privileges.Privileges[0].Luid))
        return false;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    return ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) != FALSE;
}
