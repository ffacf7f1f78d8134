#include "system/Shortcuts.h"

#include "system/ComPtr.h"
#include "system/Encoding.h"
#include "system/Process.h"
#include "tests/support/Helper.h"
#include "tests/support/ShellFolderRedirect.h"
#include "tests/support/TempDir.h"

#include <shlobj.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct Link {
    std::wstring target;
    std::wstring workingFolder;
};

Link readLink(const std::wstring& path)
{
    win::ComPtr<IShellLinkW> link;
    EXPECT_TRUE(SUCCEEDED(
        ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.putVoid())));
    if (!link)
        return {};
    const auto file = link.as<IPersistFile>(IID_IPersistFile);
    EXPECT_TRUE(file && SUCCEEDED(file->Load(path.c_str(), STGM_READ)));
    wchar_t target[MAX_PATH] = {}, folder[MAX_PATH] = {};
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetWorkingDirectory(folder, MAX_PATH);
    return {target, folder};
}

// The desktop and the start menu's programs point into a folder of the test.
class ShortcutFolders : public ::testing::Test {
protected:
    ShortcutFolders()
        : desktopRedirect_(L"Desktop", (dir_ / L"desktop").wstring()),
          programsRedirect_(L"Programs", (dir_ / L"programs").wstring())
    {
        fs::create_directories(dir_ / L"desktop");
        fs::create_directories(dir_ / L"programs");
        fs::create_directories(dir_ / L"My App");
        exe_ = copyMarkHelper(dir_ / L"My App", L"App.exe");
    }

    fs::path desktop() const { return dir_ / L"desktop"; }
    fs::path programs() const { return dir_ / L"programs"; }

    win::ComInit com_;
    TempDir dir_;
    ShellFolderRedirect desktopRedirect_;
    ShellFolderRedirect programsRedirect_;
    std::wstring exe_;
};

} // namespace

TEST_F(ShortcutFolders, DesktopShortcutWithTheProgramNameAndAForwardSlash)
{
    std::wstring shortcut;
    ASSERT_TRUE(createDesktopShortcut(exe_, L"", shortcut));
    EXPECT_EQ(shortcut, desktop().wstring() + L"/App.lnk");
    ASSERT_TRUE(fs::exists(desktop() / L"App.lnk"));
    const Link link = readLink(shortcut);
    EXPECT_EQ(link.target, exe_);
    EXPECT_EQ(link.workingFolder, (dir_ / L"My App").wstring() + L"\\");

    // Made again, it is replaced.
    ASSERT_TRUE(createDesktopShortcut(exe_, L"", shortcut));
    EXPECT_TRUE(deleteDesktopShortcut(exe_, L""));
    EXPECT_FALSE(fs::exists(desktop() / L"App.lnk"));
    EXPECT_TRUE(deleteDesktopShortcut(exe_, L""));
}

TEST_F(ShortcutFolders, PinningDoesNotStartTheProgram)
{
    // A name of this run only: a search by name finds no other test's copy.
    const std::wstring name = L"Pinned" + std::to_wstring(::GetCurrentProcessId()) + L".exe";
    const std::wstring exe = copyMarkHelper(dir_ / L"My App", name);
    std::wstring shortcut;
    ASSERT_TRUE(createDesktopShortcut(exe, L"", shortcut));
    pinToTaskbar(shortcut);
    pinToTaskbar(L"");
    // A program the shell had started would be running still or, gone,
    // have left its mark: looked for in that order.
    EXPECT_FALSE(findProcessByName(name));
    EXPECT_FALSE(fs::exists(exe + L".mark"));
}

TEST_F(ShortcutFolders, StartMenuShortcutInItsFolderWhichOutlivesIt)
{
    ASSERT_TRUE(createStartMenuShortcut(exe_, L"Velmora\\My Product", L"My Product"));
    const fs::path file = programs() / L"Velmora" / L"My Product" / L"My Product.lnk";
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(readLink(file.wstring()).target, exe_);
    ASSERT_TRUE(createStartMenuShortcut(exe_, L"Velmora\\My Product", L""));
    EXPECT_TRUE(fs::exists(programs() / L"Velmora" / L"My Product" / L"App.lnk"));

    EXPECT_TRUE(deleteStartMenuShortcut(exe_, L"Velmora\\My Product", L"My Product"));
    EXPECT_TRUE(deleteStartMenuShortcut(exe_, L"Velmora\\My Product", L""));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(fs::is_directory(programs() / L"Velmora" / L"My Product"));
}

TEST_F(ShortcutFolders, NoShortcutForAMissingProgramOrAnEscapingName)
{
    std::wstring shortcut;
    const std::wstring missing = (dir_ / L"My App" / L"Gone.exe").wstring();
    EXPECT_FALSE(createDesktopShortcut(missing, L"Gone", shortcut));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "the reason is told";
    EXPECT_FALSE(createStartMenuShortcut(missing, L"Gone Folder", L"Gone"));
    EXPECT_TRUE(shortcut.empty());
    EXPECT_FALSE(fs::exists(programs() / L"Gone Folder"));

    EXPECT_FALSE(createDesktopShortcut(exe_, L"..\\outside", shortcut));
    EXPECT_FALSE(createStartMenuShortcut(exe_, L"..\\..", L"outside"));
    EXPECT_FALSE(createStartMenuShortcut(exe_, L"C:\\elsewhere", L"outside"));
    EXPECT_TRUE(shortcut.empty());
    EXPECT_TRUE(fs::is_empty(desktop()));
    EXPECT_FALSE(fs::exists(dir_ / L"outside.lnk"));
    EXPECT_TRUE(fs::is_empty(programs()));
}
