#include "system/Removal.h"

#include "system/Encoding.h"
#include "system/Handles.h"
#include "system/PrivateTempDir.h"
#include "system/util.h"
#include "tests/support/Helper.h"
#include "tests/support/ShellFolderRedirect.h"
#include "tests/support/TempDir.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace fs = std::filesystem;

namespace {

void writeWithAttributes(const fs::path& file, DWORD attributes)
{
    writeFile(file, "x");
    ::SetFileAttributesW(file.c_str(), attributes);
}

// The batch scripts that name FILE, in the private folders of this run and
// of other programs' runs beside it.
std::vector<fs::path> scriptsNaming(const std::wstring& file)
{
    std::vector<fs::path> found;
    const std::string needle = win::toAnsi(file);
    std::error_code ignored;
    const fs::path folders = fs::path(getPrivateTempDir()).parent_path().parent_path();
    for (const auto& folder : fs::directory_iterator(folders, ignored))
        for (const auto& entry : fs::directory_iterator(folder.path(), ignored))
            if (entry.path().extension() == L".bat" && readFile(entry.path()).find(needle) != std::string::npos)
                found.push_back(entry.path());
    return found;
}

bool waitUntilGone(const fs::path& file, std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (fs::exists(file)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

std::wstring shellFolder(int csidl)
{
    wchar_t path[MAX_PATH + 1] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// Every removal on FOLDER must leave it and the canary inside it in place.
void expectUntouched(const std::wstring& folder)
{
    ASSERT_FALSE(folder.empty());
    // Only ever try to remove what the guard already refuses.
    ASSERT_TRUE(isProtectedFolder(folder)) << win::toUtf8(folder);
    const fs::path canary = fs::path(folder) / (L"canary" + newCompactGuid() + L".txt");
    writeFile(canary, "keep");
    EXPECT_FALSE(clearFolder(folder)) << win::toUtf8(folder);
    EXPECT_FALSE(removeFolderContents(folder)) << win::toUtf8(folder);
    EXPECT_FALSE(removeFolderTree(folder)) << win::toUtf8(folder);
    EXPECT_TRUE(fs::exists(canary)) << win::toUtf8(folder);
    fs::remove(canary);
}

} // namespace

TEST(Removal, ForcedDeleteTakesReadOnlyAndHiddenFiles)
{
    TempDir dir;
    writeWithAttributes(dir / L"ro.txt", FILE_ATTRIBUTE_READONLY);
    writeWithAttributes(dir / L"hidden.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_TRUE(deleteFileForce((dir / L"ro.txt").wstring()));
    EXPECT_TRUE(deleteFileForce((dir / L"hidden.txt").wstring()));
    EXPECT_FALSE(fs::exists(dir / L"ro.txt"));
    EXPECT_FALSE(fs::exists(dir / L"hidden.txt"));
    EXPECT_FALSE(deleteFileForce((dir / L"missing.txt").wstring()));
}

TEST(Removal, ClearFolderKeepsTopLevelDotNamesOnly)
{
    TempDir dir;
    const fs::path product = dir / L"Product";
    writeWithAttributes(product / L"app.exe", FILE_ATTRIBUTE_READONLY);
    writeWithAttributes(product / L"hidden.dat", FILE_ATTRIBUTE_HIDDEN);
    writeFile(product / L".settings", "kept");
    writeFile(product / L".cache" / L"inner.txt", "kept");
    writeWithAttributes(product / L"data" / L"deep" / L"ro.txt", FILE_ATTRIBUTE_READONLY);
    writeFile(product / L"data" / L".nested", "deleted");
    ::SetFileAttributesW((product / L"data").c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_TRUE(clearFolder(product.wstring()));
    EXPECT_TRUE(fs::exists(product));
    std::vector<std::wstring> left;
    for (const auto& entry : fs::directory_iterator(product))
        left.push_back(entry.path().filename().wstring());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::wstring>{L".cache", L".settings"}));
    EXPECT_TRUE(fs::exists(product / L".cache" / L"inner.txt"));
}

TEST(Removal, TheCurrentFolderIsClearedToo)
{
    // The uninstaller is often started in the folder it clears.
    TempDir dir;
    writeFile(dir / L"Product" / L"app.exe", "x");
    writeFile(dir / L"Product" / L"sub" / L"data.txt", "x");
    const fs::path previous = fs::current_path();
    ASSERT_TRUE(::SetCurrentDirectoryW((dir / L"Product").c_str()));
    EXPECT_TRUE(clearFolder((dir / L"Product").wstring()));
    ::SetCurrentDirectoryW(previous.c_str());
    EXPECT_TRUE(fs::is_empty(dir / L"Product"));
}

TEST(Removal, AFileInUseStaysAndIsReported)
{
    TempDir dir;
    const fs::path product = dir / L"Product";
    writeFile(product / L"free.txt", "x");
    writeFile(product / L"sub" / L"busy.txt", "x");
    const win::FileHandle busy(::CreateFileW((product / L"sub" / L"busy.txt").c_str(), GENERIC_READ,
                                             FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(busy);
    EXPECT_FALSE(clearFolder(product.wstring()));
    EXPECT_FALSE(fs::exists(product / L"free.txt"));
    EXPECT_TRUE(fs::exists(product / L"sub" / L"busy.txt"));
    EXPECT_FALSE(removeFolderTree((product / L"sub").wstring()));
}

TEST(Removal, RemoveFolderTree)
{
    TempDir dir;
    EXPECT_FALSE(removeFolderTree((dir / L"missing").wstring()));
    writeFile(dir / L"file.txt", "x");
    EXPECT_FALSE(removeFolderTree((dir / L"file.txt").wstring()));
    EXPECT_TRUE(fs::exists(dir / L"file.txt"));

    const fs::path tree = dir / L"tree";
    writeWithAttributes(tree / L"a" / L".dot", FILE_ATTRIBUTE_HIDDEN);
    writeWithAttributes(tree / L"a" / L"b" / L"ro.txt", FILE_ATTRIBUTE_READONLY);
    writeFile(tree / L"empty" / L"x.txt", "x");
    fs::remove(tree / L"empty" / L"x.txt");
    EXPECT_TRUE(removeFolderTree(tree.wstring() + L"\\"));
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_TRUE(fs::exists(dir / L"file.txt"));

    writeFile(tree / L"x" / L"y.txt", "x");
    EXPECT_TRUE(removeFolderContents(tree.wstring()));
    EXPECT_TRUE(fs::exists(tree));
    EXPECT_TRUE(fs::is_empty(tree));
}

TEST(Removal, SpecialFoldersAreNeverClearedOrRemoved)
{
    // The user's folders are pointed at folders of this test first, so that
    // a faulty guard could only ever touch those.
    TempDir dir;
    const std::pair<const wchar_t*, int> userFolders[] = {
        {L"Desktop", CSIDL_DESKTOPDIRECTORY},     {L"Personal", CSIDL_PERSONAL},
        {L"My Pictures", CSIDL_MYPICTURES},       {L"My Music", CSIDL_MYMUSIC},
        {L"My Videos", CSIDL_MYVIDEO},            {L"AppData", CSIDL_APPDATA},
        {L"Local AppData", CSIDL_LOCAL_APPDATA},  {L"Start Menu", CSIDL_STARTMENU},
        {L"Programs", CSIDL_PROGRAMS},
    };
    std::vector<std::unique_ptr<ShellFolderRedirect>> redirects;
    int n = 0;
    for (const auto& [name, csidl] : userFolders) {
        const fs::path folder = dir / (L"user" + std::to_wstring(n++));
        fs::create_directories(folder);
        redirects.push_back(std::make_unique<ShellFolderRedirect>(name, folder.wstring()));
        ASSERT_EQ(fs::path(shellFolder(csidl)), folder) << win::toUtf8(name);
    }
    const fs::path downloads = dir / L"downloads";
    fs::create_directories(downloads);
    ShellFolderRedirect downloadsRedirect(L"{374DE290-123F-4565-9164-39C4925E467B}", downloads.wstring());

    for (int i = 0; i < n; ++i)
        expectUntouched((dir / (L"user" + std::to_wstring(i))).wstring());
    expectUntouched(downloads.wstring());
    expectUntouched(dir / L"user0\\"); // a trailing separator changes nothing
    expectUntouched(dir.str());        // above special folders
    ASSERT_FALSE(HasFailure()) << "the guard let a user folder go; the system folders are not tried";

    // Product folders below them are cleared as before.
    const fs::path product = dir / L"user6" / L"Product";
    writeFile(product / L"app.exe", "x");
    EXPECT_TRUE(clearFolder(product.wstring()));
    EXPECT_FALSE(fs::exists(product / L"app.exe"));
    EXPECT_TRUE(removeFolderTree(product.wstring()));

    // The system's own folders, with the real user folders above.
    for (const std::wstring& folder :
         {std::wstring(L"C:\\"), std::wstring(L"c:/"), shellFolder(CSIDL_WINDOWS), shellFolder(CSIDL_SYSTEM),
          shellFolder(CSIDL_PROFILE), shellFolder(CSIDL_PROGRAM_FILES), shellFolder(CSIDL_COMMON_APPDATA),
          getTempDir()})
        expectUntouched(folder);
    EXPECT_TRUE(isProtectedFolder(L""));
    EXPECT_FALSE(clearFolder(L""));
}

TEST(Removal, BatchScriptDeletesAFileOnceItsProcessHasEnded)
{
    TempDir dir;
    const std::wstring victim = copyMarkHelper(dir.path(), L"busy helper.exe");
    win::Handle helper = startProcess(markHelperCommand(victim, dir / L"mark.txt", 3000));
    ASSERT_TRUE(helper);
    ASSERT_TRUE(waitForFile(dir / L"mark.txt"));
    ASSERT_FALSE(::DeleteFileW(victim.c_str())) << "a running program cannot be deleted";

    deleteFileByBatch(victim);
    EXPECT_FALSE(fs::exists(victim)) << "moved into the private folder at once";
    EXPECT_TRUE(scriptsNaming(victim).empty());
    std::vector<fs::path> scripts;
    for (const auto& entry : fs::directory_iterator(getPrivateTempDir()))
        if (entry.path().extension() == L".bat")
            scripts.push_back(entry.path());
    ASSERT_EQ(scripts.size(), 1u);
    const fs::path moved = fs::path(scripts[0]).replace_extension(L".del");
    ASSERT_TRUE(fs::exists(moved));
    const std::string f = win::toAnsi(moved.wstring()), b = win::toAnsi(scripts[0].wstring());
    const std::string d = win::toAnsi(scripts[0].parent_path().wstring());
    EXPECT_EQ(readFile(scripts[0]), ":try\r\n"
                                    "dir c:\\ & timeout /t 1 & dir d:\\\r\n"
                                    "attrib -s -h -r \"" + f + "\"\r\n"
                                    "del \"" + f + "\"\r\n"
                                    "if exist \"" + f + "\" goto try\r\n"
                                    "del \"" + b + "\" & rd \"" + d + "\"\r\n");
    const std::wstring name = scripts[0].stem().wstring();
    EXPECT_TRUE(!name.empty() && name.size() <= 4 && std::stoi(name) < 5000);

    ASSERT_EQ(::WaitForSingleObject(helper.get(), 20000), WAIT_OBJECT_0);
    EXPECT_TRUE(waitUntilGone(moved, std::chrono::seconds(30)));
    EXPECT_TRUE(waitUntilGone(scripts[0], std::chrono::seconds(30)));
    EXPECT_TRUE(fs::is_directory(getPrivateTempDir())) << "the folder of a running program stays";
}

// The folder's name is the user's; the elevated script never sees it, so
// none of what the command interpreter would act on in it runs.
TEST(Removal, AProgramDeletesItselfWhateverItsFolderIsCalled)
{
    TempDir dir;
    const fs::path marker = dir / L"ran";
    // Expanded inside the script's quotes, it would end them and run md.
    ::SetEnvironmentVariableW(L"X", (L"\" & md \"" + marker.wstring() + L"\" & \"").c_str());
    for (const wchar_t* name : {L"%X%", L"a^b&c %X", L"\uFF02\uFF06md \uFF05X\uFF05\uFF1E\uFF3E"}) {
        const fs::path program = dir / name / L"unin.exe";
        fs::create_directories(program.parent_path());
        fs::copy_file(getExeDir() + L"self_delete_helper.exe", program);
        win::Handle process = startProcess(L"\"" + program.wstring() + L"\"");
        ASSERT_TRUE(process);
        ASSERT_EQ(::WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0);
        EXPECT_TRUE(waitUntilGone(program, std::chrono::seconds(30))) << win::toUtf8(name);
        EXPECT_TRUE(fs::exists(dir / name)) << "only the program goes";
    }
    ::SetEnvironmentVariableW(L"X", nullptr);
    // A script naming the program would have acted on its folder's name
    // before deleting it.
    EXPECT_FALSE(fs::exists(marker));
}

TEST(Removal, BatchDeleteOfAMissingFileWritesNoScript)
{
    TempDir dir;
    const std::wstring missing = (dir / L"missing.exe").wstring();
    deleteFileByBatch(missing);
    EXPECT_TRUE(scriptsNaming(missing).empty());
}

TEST(Removal, LinkedFoldersAreNeverFollowedInsideOrAtTheTop)
{
    TempDir dir;
    writeFile(dir / L"target" / L"keep.txt", "keep");
    writeFile(dir / L"Product" / L"own.txt", "x");
    if (!makeLink(dir / L"Product" / L"linked", dir / L"target") || !makeLink(dir / L"Data", dir / L"target"))
        GTEST_SKIP() << "folder links cannot be made here";
    clearFolder((dir / L"Product").wstring());
    EXPECT_FALSE(fs::exists(dir / L"Product" / L"own.txt"));
    // The folder given is itself a link.
    clearFolder((dir / L"Data").wstring());
    removeFolderContents((dir / L"Data").wstring());
    removeFolderTree((dir / L"Data").wstring());
    EXPECT_EQ(readFile(dir / L"target" / L"keep.txt"), "keep");
}

TEST(Removal, ADriveWithoutFolderMeansItsCurrentFolderNotItsRoot)
{
    // A drive letter of the test's own, so that a fault could only reach it.
    TempDir dir;
    const wchar_t* drive = L"Q:";
    if (!::DefineDosDeviceW(0, drive, dir.str().c_str()) || !fs::exists(L"Q:\\"))
        GTEST_SKIP() << "no drive letter can be defined here";
    writeFile(dir / L"root.txt", "keep");
    writeFile(dir / L"current" / L"file.txt", "x");
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(L"Q:\\current"));

    EXPECT_FALSE(clearFolder(L"Q:\\"));
    EXPECT_TRUE(clearFolder(drive));
    ::SetCurrentDirectoryW(previous);
    ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive, nullptr);
    EXPECT_TRUE(fs::exists(dir / L"root.txt"));
    EXPECT_FALSE(fs::exists(dir / L"current" / L"file.txt"));
}
