#include "system/Authenticode.h"

#include "system/Handles.h"

#include <softpub.h>
#include <wintrust.h>

namespace {

// Not imported: only DLLs that Windows always takes from its own folder
// are, anything else is loaded by its full path there.
constexpr wchar_t kWinTrustDll[] = L"\\wintrust.dll";
constexpr char kWinVerifyTrust[] = "WinVerifyTrust";

using WinVerifyTrustFunction = LONG(WINAPI*)(HWND, GUID*, void*);

win::Module loadWinTrust()
{
    wchar_t system[MAX_PATH + 1] = {};
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH)
        return {};
    const std::wstring path = std::wstring(system, n) + kWinTrustDll;
    // Its own imports are looked up beside it, in the system folder.
    return win::Module(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

} // namespace

bool isSignatureTrusted(const std::wstring& file, LONG& status)
{
    const win::Module wintrust = loadWinTrust();
    const auto verify = wintrust ? reinterpret_cast<WinVerifyTrustFunction>(
                                       reinterpret_cast<void*>(::GetProcAddress(wintrust.get(), kWinVerifyTrust)))
                                 : nullptr;
    // Checked through a handle that keeps writers out until the answer.
    const win::FileHandle handle(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!verify || !handle) {
        status = static_cast<LONG>(HRESULT_FROM_WIN32(::GetLastError()));
        return false;
    }
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = file.c_str();
    fileInfo.hFile = handle.get();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    status = verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return status == 0;
}
