#include "Removal.h"

#include "Encoding.h"
#include "Handles.h"
#include "NoFollow.h"
#include "Paths.h"
#include "PrivateTempDir.h"
#include "Process.h"
#include "util.h"

#include <string_view>
#include <vector>

namespace {

// Room for a few hundred names per listing call.
constexpr size_t kListingBytes = 64 * 1024;
// Deleting, clearing the attributes first, and listing what is inside.
constexpr DWORD kDeleteAccess = DELETE | FILE_WRITE_ATTRIBUTES | FILE_TRAVERSE;
constexpr DWORD kListAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE;
constexpr wchar_t kScriptExtension[] = L".bat";
constexpr wchar_t kMovedExtension[] = L".del";
// What a path in the script may hold: nothing the command interpreter reads
// as a variable, an escape, a quote or a command separator.
constexpr wchar_t kPlainPathPunctuation[] = L"\\:._-() ";
constexpr int kScriptNameRange = 5000;
constexpr char kLineEnd[] = "\r\n";
constexpr char kRetryLabel[] = ":try";
constexpr char kWaitASecond[] = "dir c:\\ & timeout /t 1 & dir d:\\";
constexpr char kClearAttributes[] = "attrib -s -h -r ";
constexpr char kDelete[] = "del ";
constexpr char kIfExists[] = "if exist ";
constexpr char kRetry[] = " goto try";
constexpr char kAndRemoveFolder[] = " & rd ";
// The command interpreter by its full path, without the AutoRun commands
// that the user's registry may hold (the script runs elevated); /s keeps the
// quoted script path as it is.
constexpr wchar_t kCommandInterpreter[] = L"cmd.exe";
constexpr wchar_t kRunScript[] = L" /d /s /c \"\"";
constexpr wchar_t kRunScriptEnd[] = L"\"\"";

// FOLDER as an absolute path without trailing separators, except the one of
// a drive root ("C:\\"); "" when it has none. The guard and the listing must
// see the same text: "C:" alone means the current folder of drive C:.
std::wstring absoluteFolder(const std::wstring& folder)
{
    if (folder.empty())
        return {};
    const DWORD size = ::GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return {};
    std::wstring path(size, L'\0');
    const DWORD n = ::GetFullPathNameW(folder.c_str(), size, path.data(), nullptr);
    if (n == 0 || n >= size)
        return {};
    path.resize(n);
    return withoutTrailingSeparators(path);
}

// The absolute form of FOLDER when removals may touch it; "" otherwise.
std::wstring removableFolder(const std::wstring& folder)
{
    std::wstring path = absoluteFolder(folder);
    return path.empty() || isProtectedFolder(path) ? std::wstring() : path;
}

// Calls VISIT(name, path, attributes) for every entry but "." and ".." of
// FOLDER, open at PATH, listed through its handle; false when it cannot be
// listed.
template <typename Visit>
bool forEachEntry(HANDLE folder, const std::wstring& path, Visit visit)
{
    std::vector<LONGLONG> buffer(kListingBytes / sizeof(LONGLONG));
    const auto bytes = static_cast<DWORD>(buffer.size() * sizeof(LONGLONG));
    for (auto kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
        if (!::GetFileInformationByHandleEx(folder, kind, buffer.data(), bytes))
            return ::GetLastError() == ERROR_NO_MORE_FILES;
        const auto* at = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..")
                visit(name, path + L"\\" + std::wstring(name), entry->FileAttributes);
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
}

bool isLink(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool emptyFolder(HANDLE folder, const std::wstring& path, bool keepDotNames);

// Opens PATH, a folder to be emptied, for deleting it afterwards too; when
// it cannot be deleted (it is some process's current folder, say), only for
// emptying, and then CANDELETE is false.
win::FileHandle openFolder(const std::wstring& path, bool& canDelete)
{
    win::FileHandle folder = openNoFollow(path, kDeleteAccess | FILE_LIST_DIRECTORY);
    canDelete = static_cast<bool>(folder);
    if (!folder)
        folder = openNoFollow(path, kListAccess);
    return folder;
}

// Deletes the entry PATH, listed with LISTED attributes. Decided on the
// opened entry: a link (junction or symbolic link) goes as a link, a real
// folder is held open while it is emptied, then goes itself.
bool deleteEntry(const std::wstring& path, DWORD listed)
{
    bool canDelete = true;
    const win::FileHandle entry =
        (listed & FILE_ATTRIBUTE_DIRECTORY) ? openFolder(path, canDelete) : openNoFollow(path, kDeleteAccess);
    const DWORD attributes = entry ? attributesOf(entry.get()) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (isLink(attributes))
        return canDelete && deleteOpened(entry.get(), attributes);
    // Listed or named as a link, yet opened as something else: swapped since
    // the listing, or a link that cannot be opened as one (a Unix link under
    // Wine). Not followed, and left alone.
    if (isLink(listed) || isLink(::GetFileAttributesW(path.c_str())))
        return false;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !emptyFolder(entry.get(), path, false))
        return false;
    return canDelete && deleteOpened(entry.get(), attributes);
}

// Deletes everything in FOLDER, held open at PATH; with KEEPDOTNAMES, names
// beginning with a dot stay.
bool emptyFolder(HANDLE folder, const std::wstring& path, bool keepDotNames)
{
    bool all = true;
    const bool listed = forEachEntry(folder, path, [&](std::wstring_view name, const std::wstring& entry, DWORD attributes) {
        if (keepDotNames && name.starts_with(L'.'))
            return;
        if (!deleteEntry(entry, attributes))
            all = false;
    });
    return listed && all;
}

// What a removal does with the folder it was given: empties it (keeping top
// dot names with KEEPDOTNAMES) and, with REMOVEITSELF, deletes it too. A
// folder that is itself a link goes as a link, what it points to untouched.
// MISSING is the result for a folder that does not exist.
bool removeFrom(const std::wstring& folder, bool keepDotNames, bool removeItself, bool missing)
{
    const std::wstring root = removableFolder(folder);
    if (root.empty())
        return false;
    bool canDelete = true;
    const win::FileHandle held = openFolder(root, canDelete);
    if (!held) {
        const DWORD error = ::GetLastError();
        return missing && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    }
    const DWORD attributes = attributesOf(held.get());
    if (isLink(attributes))
        return canDelete && deleteOpened(held.get(), attributes);
    if (!isRealFolder(attributes) || isLink(::GetFileAttributesW(root.c_str())))
        return false;
    return emptyFolder(held.get(), root, keepDotNames) &&
           (!removeItself || (canDelete && deleteOpened(held.get(), attributes)));
}

bool isPlainPath(const std::wstring& path)
{
    for (const wchar_t c : path)
        if (!(c >= L'a' && c <= L'z') && !(c >= L'A' && c <= L'Z') && !(c >= L'0' && c <= L'9') &&
            std::wstring_view(kPlainPathPunctuation).find(c) == std::wstring_view::npos)
            return false;
    return !path.empty();
}

std::string quotedAnsi(const std::wstring& path)
{
    std::string text(1, '"');
    text += win::toAnsi(path);
    text += '"';
    return text;
}

// The last line deletes the script and then its folder, which goes only
// when nothing else is left in it. Both on one line: the command interpreter
// reads a script line by line, and there is no next line to read once the
// script is gone.
std::string deleteScript(const std::wstring& file, const std::wstring& script)
{
    const std::string target = quotedAnsi(file);
    const std::wstring folder = script.substr(0, script.find_last_of(L'\\'));
    std::string text;
    for (const std::string& line :
         {std::string(kRetryLabel), std::string(kWaitASecond), kClearAttributes + target, kDelete + target,
          kIfExists + target + kRetry, kDelete + quotedAnsi(script) + kAndRemoveFolder + quotedAnsi(folder)})
        text += line + kLineEnd;
    return text;
}

bool writeNewFile(const std::wstring& path, const std::string& bytes)
{
    const win::FileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

} // namespace

bool deleteFileForce(const std::wstring& path)
{
    const win::FileHandle file = openNoFollow(path, DELETE | FILE_WRITE_ATTRIBUTES);
    const DWORD attributes = file ? attributesOf(file.get()) : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && !isRealFolder(attributes) && deleteOpened(file.get(), attributes);
}

bool clearFolder(const std::wstring& folder) { return removeFrom(folder, true, false, true); }

bool removeFolderTree(const std::wstring& folder) { return removeFrom(folder, false, true, false); }

bool removeFolderContents(const std::wstring& folder) { return removeFrom(folder, false, false, false); }

void deleteFileByBatch(const std::wstring& file)
{
    if (::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    // Script and file in the run's private folder: the script runs elevated,
    // after this program has ended, and no one else may change either
    // meanwhile. The file is moved there first (a running program can be
    // renamed, not deleted), so that the script names only paths this program
    // made: a folder name of the user's choosing could hold variables, quotes
    // or separators that the command interpreter would act on.
    const std::wstring name = std::to_wstring(randomBelow(kScriptNameRange));
    const std::wstring script = privateTempPath(name + kScriptExtension);
    const std::wstring moved = privateTempPath(name + kMovedExtension);
    // Another drive cannot take it: the system deletes it at the next start.
    if (script.empty() || !::MoveFileExW(file.c_str(), moved.c_str(), 0)) {
        ::MoveFileExW(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    keepAfterRun(moved);
    if (!isPlainPath(script) || !isPlainPath(moved) || !writeNewFile(script, deleteScript(moved, script))) {
        ::MoveFileExW(moved.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    keepAfterRun(script);
    // Quoted: the Windows folder may contain blanks.
    runAsDesktopUser(L"\"" + getSystemDir() + kCommandInterpreter + L"\"" + kRunScript + script + kRunScriptEnd, true,
                     false, L"", false);
}

void deleteSelf() { deleteFileByBatch(getExeDir() + getExeFileName()); }
