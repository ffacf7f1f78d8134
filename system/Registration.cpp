#include "Registration.h"

#include "Handles.h"
#include "Paths.h"
#include "Registry.h"

#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <string_view>

namespace {

constexpr wchar_t kUninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kDisplayName[] = L"DisplayName";
constexpr wchar_t kDisplayIcon[] = L"DisplayIcon";
constexpr wchar_t kUninstallString[] = L"UninstallString";
constexpr wchar_t kDisplayVersion[] = L"DisplayVersion";
constexpr wchar_t kPublisher[] = L"Publisher";
constexpr wchar_t kExePath[] = L"ExePath";
constexpr wchar_t kQuietUninstallString[] = L"QuietUninstallString";
constexpr wchar_t kInstallLocation[] = L"InstallLocation";
constexpr wchar_t kEstimatedSize[] = L"EstimatedSize";
constexpr wchar_t kInstallDate[] = L"InstallDate";
constexpr wchar_t kNoModify[] = L"NoModify";
constexpr wchar_t kNoRepair[] = L"NoRepair";
constexpr wchar_t kDateFormat[] = L"%04u%02u%02u";
constexpr uint64_t kBytesPerKB = 1024;
constexpr wchar_t kUninstallerFolderSuffix[] = L"-uninstall";
constexpr wchar_t kNotInFileNames[] = L"\\/:*?\"<>|";

std::wstring quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// A value that is only written when there is something to say.
LSTATUS writeStringIfAny(HKEY key, const std::wstring& valueName, const std::wstring& text)
{
    return text.empty() ? ERROR_SUCCESS : reg::writeString(key, valueName, text);
}

} // namespace

std::wstring uninstallEntryPath(const std::wstring& softId) { return std::wstring(kUninstallRoot) + L"\\" + softId; }

std::wstring uninstallerFolder(const std::wstring& softId)
{
    if (softId.empty())
        return {};
    // 32-bit Windows has no separate folder for 32-bit programs and may
    // refuse the first question.
    wchar_t programFiles[MAX_PATH + 1] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, programFiles)) ||
        programFiles[0] == L'\0') {
        if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles)) ||
            programFiles[0] == L'\0')
            return {};
    }
    std::wstring name = softId + kUninstallerFolderSuffix;
    for (wchar_t& c : name)
        if (c < L' ' || std::wstring_view(kNotInFileNames).find(c) != std::wstring_view::npos)
            c = L'_';
    return joinPath(programFiles, name);
}

std::wstring readInstallLocation(const std::wstring& softId)
{
    return regReadString(HKEY_LOCAL_MACHINE, uninstallEntryPath(softId), kInstallLocation, kUninstallEntryView);
}

std::wstring installDateOf(const SYSTEMTIME& date)
{
    wchar_t text[16] = {};
    std::swprintf(text, 16, kDateFormat, date.wYear, date.wMonth, date.wDay);
    return text;
}

std::vector<RegWriteFailure> writeUninstallEntry(const std::wstring& softId, const std::wstring& displayName,
                                                 const std::wstring& exePath, const std::wstring& installDir,
                                                 const std::wstring& uninstaller, const std::wstring& version,
                                                 const std::wstring& publisher, uint64_t installedBytes,
                                                 const std::wstring& installDate)
{
    // Without an id the values would land on the list of all programs itself.
    if (softId.empty())
        return {};
    const std::wstring keyPath = uninstallEntryPath(softId);
    win::RegKey key;
    const LSTATUS status = reg::createKey(HKEY_LOCAL_MACHINE, keyPath, KEY_SET_VALUE | kUninstallEntryView, key);
    // Every write against the unopened key could only fail again.
    if (status != ERROR_SUCCESS)
        return {{keyPath, status}};
    // Rounded up: a product of a few bytes does not show as 0 KB.
    const uint64_t sizeKB = std::min<uint64_t>((installedBytes + kBytesPerKB - 1) / kBytesPerKB, MAXDWORD);
    const std::pair<const wchar_t*, LSTATUS> writes[] = {
        {kDisplayName, reg::writeString(key.get(), kDisplayName, displayName)},
        {kDisplayIcon, writeStringIfAny(key.get(), kDisplayIcon, quoted(exePath))},
        // Quoted like DisplayIcon: unquoted, a path with blanks makes Windows
        // try "C:\Program.exe" and the like first.
        {kUninstallString, reg::writeString(key.get(), kUninstallString, quoted(uninstaller))},
        {kDisplayVersion, writeStringIfAny(key.get(), kDisplayVersion, version)},
        {kPublisher, writeStringIfAny(key.get(), kPublisher, publisher)},
        {kExePath, writeStringIfAny(key.get(), kExePath, quoted(exePath))},
        {kQuietUninstallString,
         reg::writeString(key.get(), kQuietUninstallString, quoted(uninstaller) + L" " + kSilentUninstallSwitch)},
        {kInstallLocation, reg::writeString(key.get(), kInstallLocation, installDir)},
        {kEstimatedSize, reg::writeDword(key.get(), kEstimatedSize, static_cast<DWORD>(sizeKB))},
        {kInstallDate, writeStringIfAny(key.get(), kInstallDate, installDate)},
        {kNoModify, reg::writeDword(key.get(), kNoModify, 1)},
        {kNoRepair, reg::writeDword(key.get(), kNoRepair, 1)},
    };
    std::vector<RegWriteFailure> failures;
    for (const auto& [name, result] : writes)
        if (result != ERROR_SUCCESS)
            failures.push_back({name, result});
    return failures;
}

LSTATUS deleteUninstallEntry(const std::wstring& softId)
{
    // An empty name would delete every program's entry.
    if (softId.empty())
        return ERROR_INVALID_PARAMETER;
    win::RegKey root;
    LSTATUS status = reg::openKey(HKEY_LOCAL_MACHINE, kUninstallRoot, KEY_ALL_ACCESS | kUninstallEntryView, root);
    if (status == ERROR_SUCCESS)
        status = reg::deleteTree(root.get(), softId);
    return status;
}

std::wstring readInstalledVersion(const std::wstring& softId)
{
    return regReadString(HKEY_LOCAL_MACHINE, uninstallEntryPath(softId), kDisplayVersion, kUninstallEntryView);
}
