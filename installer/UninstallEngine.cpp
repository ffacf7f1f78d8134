#include "installer/UninstallEngine.h"

#include "system/Process.h"
#include "system/Encoding.h"
#include "system/NoFollow.h"
#include "system/Paths.h"
#include "system/Registration.h"
#include "system/Removal.h"
#include "system/Shortcuts.h"
#include "system/WinError.h"
#include "system/util.h"

#include <windows.h>

#include <string_view>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Pause after each stage of the bar, so that the user sees it.
constexpr auto kStagePause = 100ms;
constexpr auto kFastStep = 3ms;
constexpr auto kSlowStep = 5ms;
// How long a stopped product may take to go away before its files are
// removed; the removal goes on after it in any case.
constexpr auto kProductEndWait = 5s;
constexpr auto kProductPoll = 50ms;

constexpr wchar_t kWhatVersion[] = L"reading the installed version";
constexpr wchar_t kNoVersion[] = L"the uninstall entry names no version: no report";
constexpr wchar_t kReported[] = L"uninstall reported for version ";
constexpr wchar_t kWhatEntry[] = L"deleting the uninstall entry";
constexpr wchar_t kWhatStop[] = L"stopping ";
constexpr wchar_t kWhatDesktopShortcut[] = L"deleting the desktop shortcut";
constexpr wchar_t kWhatStartMenuShortcut[] = L"deleting the start-menu shortcut";
constexpr wchar_t kWhatClear[] = L"clearing ";
constexpr wchar_t kSomeStay[] = L"some files stay: in use, linked or in a protected folder";
constexpr wchar_t kWhatUnexpected[] = L"uninstall";
constexpr wchar_t kVersionPlaceholder[] = L"[Version]";
constexpr wchar_t kWhatLocation[] = L"reading the installation folder";
constexpr wchar_t kWhatFolder[] = L"uninstall refused";
constexpr wchar_t kRunsFrom[] = L"the uninstaller runs from ";
constexpr wchar_t kEntryNames[] = L", the uninstall entry names ";
constexpr wchar_t kNoEntry[] = L"no installation folder";
constexpr wchar_t kWrongFolder[] = L"卸载程序不在产品的安装目录中，未删除任何文件。";

// The volume and index that tell which file PATH is, whatever name reaches
// it; false when it cannot be opened.
bool fileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info)
{
    const win::FileHandle file(openNoFollow(path, 0));
    return file && ::GetFileInformationByHandle(file.get(), &info);
}

// Whether A and B name the same folder, whatever their spelling (letter
// case, short names); a link is compared as the link.
bool sameFolder(const std::wstring& a, const std::wstring& b)
{
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return !a.empty() && !b.empty() && fileIdentity(a, first) && fileIdentity(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// Whether FOLDER still holds anything but the running program and the names
// that clearFolder keeps on purpose (those beginning with a dot).
bool productFilesLeftIn(const std::wstring& folder)
{
    BY_HANDLE_FILE_INFORMATION running{};
    const bool runningKnown = fileIdentity(getExeDir() + getExeFileName(), running);
    WIN32_FIND_DATAW found{};
    const win::FindHandle find(::FindFirstFileW(joinPath(folder, L"*").c_str(), &found));
    if (!find)
        return false;
    do {
        const std::wstring_view name = found.cFileName;
        if (name.starts_with(L'.'))
            continue;
        BY_HANDLE_FILE_INFORMATION entry{};
        if (!runningKnown || !fileIdentity(joinPath(folder, found.cFileName), entry) ||
            entry.dwVolumeSerialNumber != running.dwVolumeSerialNumber ||
            entry.nFileIndexHigh != running.nFileIndexHigh || entry.nFileIndexLow != running.nFileIndexLow)
            return true;
    } while (::FindNextFileW(find.get(), &found));
    return false;
}

} // namespace

std::wstring afterUninstallPage(const TConfigFile& config)
{
    return replaceText(config.OpenWebsiteAfterUninstall, kVersionPlaceholder, encodeQueryValue(config.Version), false);
}

UninstallEngine::UninstallEngine(const TConfigFile& config, TAPI* api, SequenceObserver& observer)
    : config_(config), api_(api), observer_(observer)
{
}

void removeUninstallers(const TConfigFile& config, UninstallResult result)
{
    if (result == UninstallResult::WrongFolder || result == UninstallResult::NotRun ||
        result == UninstallResult::EntryRemains)
        return;
    // The running copy leaves its folder first, whichever of the two it is.
    deleteSelf();
    const std::wstring folder = uninstallerFolder(config.SoftId);
    if (!folder.empty())
        removeFolderTree(folder);
}

UninstallResult UninstallEngine::run(const std::wstring& runningFolder)
{
    observer_.stage(Stage::Removing);
    std::this_thread::sleep_for(kStagePause);
    animate(0, 30, kFastStep);
    UninstallResult result = UninstallResult::Unexpected;
    try {
        result = removeProduct(runningFolder);
    } catch (const std::exception& e) {
        observer_.error({ErrorKind::Unexpected, kWhatUnexpected, 0, win::fromUtf8(e.what())});
    }
    animate(31, 80, kFastStep);
    animate(80, 100, kSlowStep);
    observer_.stage(Stage::Removed);
    return result;
}

// Nothing here but a refusal is shown to the user: whatever cannot be
// removed is skipped, and only the result tells it.
UninstallResult UninstallEngine::removeProduct(const std::wstring& runningFolder)
{
    if (!findProductFolder(runningFolder))
        return UninstallResult::WrongFolder;
    reportUninstall();
    const bool entryDeleted = deleteEntry();
    stopProduct();
    deleteShortcuts();
    const bool folderCleared = clearFolders();
    if (!entryDeleted)
        return UninstallResult::EntryRemains;
    return folderCleared ? UninstallResult::Removed : UninstallResult::FilesRemain;
}

// The entry is in HKLM, which only administrators can change; the folders
// are compared as opened, so that no other spelling or link passes.
bool UninstallEngine::findProductFolder(const std::wstring& runningFolder)
{
    std::wstring location;
    try {
        location = readInstallLocation(config_.SoftId);
    } catch (const win::Win32Error& e) {
        observer_.error({ErrorKind::Registry, kWhatLocation, e.code(), win::fromUtf8(e.what())});
    }
    if (!location.empty() &&
        (sameFolder(runningFolder, location) || sameFolder(runningFolder, uninstallerFolder(config_.SoftId)))) {
        targetDir_ = location;
        return true;
    }
    observer_.error({ErrorKind::File, kWhatFolder, 0,
                     kRunsFrom + runningFolder + kEntryNames + (location.empty() ? kNoEntry : location)});
    observer_.message({kWrongFolder});
    return false;
}

// Only an entry that still names a version is reported: a second run after
// a completed uninstall sends nothing.
void UninstallEngine::reportUninstall()
{
    std::wstring version;
    try {
        version = readInstalledVersion(config_.SoftId);
    } catch (const win::Win32Error& e) {
        observer_.error({ErrorKind::Registry, kWhatVersion, e.code(), win::fromUtf8(e.what())});
    }
    if (version.empty()) {
        observer_.detail(kNoVersion);
        return;
    }
    if (api_)
        api_->ReportUninstall(version);
    observer_.detail(kReported + version);
}

bool UninstallEngine::deleteEntry()
{
    // An entry that is gone already is no failure.
    const LSTATUS status = deleteUninstallEntry(config_.SoftId);
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND)
        return true;
    observer_.error({ErrorKind::Registry, kWhatEntry, static_cast<DWORD>(status)});
    return false;
}

// Termination does not wait for the process to go, and its program file
// stays in use until it has: wait (bounded) so that the folder can be cleared.
void UninstallEngine::stopProduct()
{
    if (config_.MainProg.empty())
        return;
    if (!killProcessByName(config_.MainProg))
        observer_.error({ErrorKind::Process, kWhatStop + config_.MainProg, ::GetLastError()});
    const auto until = std::chrono::steady_clock::now() + kProductEndWait;
    while (findProcessByName(config_.MainProg) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(kProductPoll);
}

void UninstallEngine::deleteShortcuts()
{
    const std::wstring program = targetDir_ + config_.MainProgPath + config_.MainProg;
    if (!deleteDesktopShortcut(program, config_.ShortcutName))
        observer_.error({ErrorKind::Shortcut, kWhatDesktopShortcut, ::GetLastError()});
    if (!deleteStartMenuShortcut(program, config_.ProgramDirName, config_.ShortcutName))
        observer_.error({ErrorKind::Shortcut, kWhatStartMenuShortcut, ::GetLastError()});
}

// The product's per-user data, then the installation folder, which is
// removed only when empty: it is not while the uninstaller runs from it, and
// an empty special folder must stay all the same.
bool UninstallEngine::clearFolders()
{
    bool cleared = true;
    const std::wstring& data = config_.ConfigPathForUinstall;
    if (!data.empty() && isFolder(data) && !clearFolder(data)) {
        observer_.error({ErrorKind::File, kWhatClear + data, 0, kSomeStay});
        cleared = false;
    }
    // The running uninstaller stays in any case; it goes once it has ended.
    if (!clearFolder(targetDir_) && productFilesLeftIn(targetDir_)) {
        observer_.error({ErrorKind::File, kWhatClear + targetDir_, 0, kSomeStay});
        cleared = false;
    }
    if (!isProtectedFolder(targetDir_))
        ::RemoveDirectoryW(targetDir_.c_str());
    return cleared;
}

void UninstallEngine::animate(int from, int to, std::chrono::milliseconds step)
{
    animateProgress(observer_, from, to, step);
    std::this_thread::sleep_for(kStagePause);
}
