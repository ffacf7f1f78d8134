#include "Removal.h"

#include "Encoding.h"
#include "Handles.h"
#include "PrivateTempDir.h"
#include "Process.h"
#include "util.h"

#include <string_view>

namespace {

constexpr wchar_t kAllEntries[] = L"\\*";
constexpr wchar_t kScriptExtension[] = L".bat";
constexpr int kScriptNameRange = 5000;
constexpr char kLineEnd[] = "\r\n";
constexpr char kRetryLabel[] = ":try";
constexpr char kWaitASecond[] = "dir c:\\ & timeout /t 1 & dir d:\\";
constexpr char kClearAttributes[] = "attrib -s -h -r ";
constexpr char kDelete[] = "del ";
constexpr char kIfExists[] = "if exist ";
constexpr char kRetry[] = " goto try";
constexpr char kAndRemoveFolder[] = " & rd ";

bool isDirectory(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

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
    while (path.size() > 3 && isSeparator(path.back()))
        path.pop_back();
    return path;
}

// The absolute form of FOLDER when removals may touch it; "" otherwise.
std::wstring removableFolder(const std::wstring& folder)
{
    std::wstring path = absoluteFolder(folder);
    return path.empty() || isProtectedFolder(path) ? std::wstring() : path;
}

bool deleteTree(const std::wstring& folder, DWORD attributes);

// Calls VISIT(path, attributes) for every entry of FOLDER but "." and "..";
// false when the folder cannot be listed.
template <typename Visit>
bool forEachEntry(const std::wstring& folder, Visit visit)
{
    WIN32_FIND_DATAW data{};
    const win::FindHandle find(::FindFirstFileW((folder + kAllEntries).c_str(), &data));
    if (!find)
        return false;
    do {
        const std::wstring_view name = data.cFileName;
        if (name != L"." && name != L"..")
            visit(name, folder + L"\\" + std::wstring(name), data.dwFileAttributes);
    } while (::FindNextFileW(find.get(), &data));
    return true;
}

bool deleteEntry(const std::wstring& path, DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? deleteTree(path, attributes) : deleteFileForce(path);
}

bool emptyFolder(const std::wstring& folder)
{
    bool all = true;
    const bool listed = forEachEntry(folder, [&](std::wstring_view, const std::wstring& path, DWORD attributes) {
        if (!deleteEntry(path, attributes))
            all = false;
    });
    return listed && all;
}

// A linked folder (junction or symbolic link) is removed as a link: what it
// points to belongs to someone else.
bool deleteTree(const std::wstring& folder, DWORD attributes)
{
    ::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        emptyFolder(folder);
    return ::RemoveDirectoryW(folder.c_str()) != FALSE;
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
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return ::DeleteFileW(path.c_str()) != FALSE;
}

bool clearFolder(const std::wstring& folder)
{
    const std::wstring root = removableFolder(folder);
    if (root.empty())
        return false;
    bool all = true;
    // A folder that cannot be listed has nothing left to clear.
    forEachEntry(root, [&](std::wstring_view name, const std::wstring& path, DWORD attributes) {
        if (name.starts_with(L'.'))
            return;
        if (!deleteEntry(path, attributes))
            all = false;
    });
    return all;
}

bool removeFolderTree(const std::wstring& folder)
{
    const std::wstring root = removableFolder(folder);
    const DWORD attributes = root.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(root.c_str());
    return isDirectory(attributes) && deleteTree(root, attributes);
}

bool removeFolderContents(const std::wstring& folder)
{
    const std::wstring root = removableFolder(folder);
    return !root.empty() && emptyFolder(root);
}

void deleteFileByBatch(const std::wstring& file)
{
    if (::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    // In the run's private folder: it runs elevated, after this program has
    // ended, and no one else may change it meanwhile.
    const std::wstring script = privateTempPath(std::to_wstring(randomBelow(kScriptNameRange)) + kScriptExtension);
    if (script.empty() || !writeNewFile(script, deleteScript(file, script)))
        return;
    keepAfterRun(script);
    // Quoted: the Windows folder may contain blanks.
    runAsDesktopUser(L"\"" + script + L"\"", true, false, L"", false);
}

void deleteSelf() { deleteFileByBatch(getExeDir() + getExeFileName()); }
