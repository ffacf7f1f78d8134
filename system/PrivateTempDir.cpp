#include "system/PrivateTempDir.h"

#include "system/Removal.h"
#include "system/util.h"

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <vector>

namespace {

// Owned by Administrators rather than by the user who elevated: an owner
// may always rewrite the access list. "P": nothing inherited from above.
constexpr wchar_t kFolderSecurity[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// Users: read and execute (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE).
constexpr wchar_t kReadableFolderSecurity[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
constexpr wchar_t kSystemTempFolder[] = L"\\Temp\\";
constexpr wchar_t kFolderPrefix[] = L"setup-";
constexpr wchar_t kAllEntries[] = L"*";
// A taken name is someone else's folder: never use it, draw another.
constexpr int kNameAttempts = 8;

class RunFolder {
public:
    static RunFolder& instance()
    {
        static RunFolder folder;
        return folder;
    }

    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    const std::wstring& path()
    {
        if (path_.empty())
            make();
        return path_;
    }

    void keep(const std::wstring& file)
    {
        if (!path_.empty() && file.size() > path_.size() && _wcsnicmp(file.c_str(), path_.c_str(), path_.size()) == 0)
            kept_.push_back(file.substr(path_.size()));
    }

    ~RunFolder()
    {
        if (path_.empty())
            return;
        WIN32_FIND_DATAW entry{};
        if (const win::FindHandle find(::FindFirstFileW((path_ + kAllEntries).c_str(), &entry)); find) {
            do {
                if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isKept(entry.cFileName))
                    deleteFileForce(path_ + entry.cFileName);
            } while (::FindNextFileW(find.get(), &entry));
        }
        held_.reset();
        // Fails while a kept file is still there; its program removes it.
        ::RemoveDirectoryW(path_.c_str());
    }

private:
    RunFolder() = default;

    bool isKept(const wchar_t* name) const
    {
        return std::any_of(kept_.begin(), kept_.end(),
                           [name](const std::wstring& kept) { return _wcsicmp(kept.c_str(), name) == 0; });
    }

    void make()
    {
        const std::wstring parent = systemTempFolder();
        const win::LocalMemory security = privateFolderSecurity();
        if (parent.empty() || !security)
            return;
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), security.get(), FALSE};
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            const std::wstring folder = parent + kFolderPrefix + newCompactGuid();
            if (!::CreateDirectoryW(folder.c_str(), &attributes)) {
                if (::GetLastError() == ERROR_ALREADY_EXISTS)
                    continue;
                return;
            }
            // Opened for listing without delete sharing: the system then
            // refuses to rename or remove the folder while the run lasts.
            held_.reset(::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            if (!held_) {
                ::RemoveDirectoryW(folder.c_str());
                return;
            }
            path_ = folder + L"\\";
            return;
        }
    }

    std::wstring path_;
    win::FileHandle held_;
    std::vector<std::wstring> kept_;
};

} // namespace

std::wstring systemTempFolder()
{
    // The shared Windows folder also for a program that is not aware of
    // terminal sessions (GetWindowsDirectory may answer a private one).
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT n = ::GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH)
        return {};
    return std::wstring(windows, n) + kSystemTempFolder;
}

std::wstring getPrivateTempDir() { return RunFolder::instance().path(); }

std::wstring privateTempPath(const std::wstring& name)
{
    const std::wstring folder = getPrivateTempDir();
    return folder.empty() ? std::wstring() : folder + name;
}

void keepAfterRun(const std::wstring& file) { RunFolder::instance().keep(file); }

namespace {

win::LocalMemory securityOf(const wchar_t* text)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor, nullptr))
        return {};
    return win::LocalMemory(descriptor);
}

} // namespace

win::LocalMemory privateFolderSecurity() { return securityOf(kFolderSecurity); }

win::LocalMemory readableFolderSecurity() { return securityOf(kReadableFolderSecurity); }

bool makeReadableFolder(const std::wstring& folder)
{
    const win::LocalMemory security = readableFolderSecurity();
    if (!security || (::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES && !removeFolderTree(folder)))
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), security.get(), FALSE};
    return ::CreateDirectoryW(folder.c_str(), &attributes) != FALSE;
}
