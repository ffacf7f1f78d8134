#include "system/Decimal.h"
#include "system/Paths.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

TEST(Paths, ParentKeepsADrivesRootAndJoinUsesOneSeparator)
{
    EXPECT_EQ(parentFolder(L"C:\\a\\b.txt"), L"C:\\a");
    EXPECT_EQ(parentFolder(L"C:\\a"), L"C:\\");
    EXPECT_EQ(parentFolder(L"C:\\a\\\\b"), L"C:\\a");
    EXPECT_EQ(parentFolder(L"a/b"), L"a");
    EXPECT_EQ(parentFolder(L"name"), L"");
    EXPECT_EQ(joinPath(L"D:\\", L"x"), L"D:\\x");
    EXPECT_EQ(joinPath(L"D:\\p", L"x"), L"D:\\p\\x");
    EXPECT_EQ(joinPath(L"D:/p/", L"x"), L"D:/p/x");
    EXPECT_EQ(joinPath(L"\\\\server\\share\\", L"Prod"), L"\\\\server\\share\\Prod");
    EXPECT_EQ(joinPath(L"", L"x"), L"x");
}

// "C:" alone names the current folder of drive C:, so a drive root keeps its
// separator; any other folder loses all of them, of either kind.
TEST(Paths, TrailingSeparatorsGoExceptADrivesRoot)
{
    EXPECT_EQ(withoutTrailingSeparators(L"C:\\"), L"C:\\");
    EXPECT_EQ(withoutTrailingSeparators(L"C:\\/\\"), L"C:\\");
    EXPECT_EQ(withoutTrailingSeparators(L"C:\\a/\\"), L"C:\\a");
    EXPECT_EQ(withoutTrailingSeparators(L"\\\\server\\share\\"), L"\\\\server\\share");
    EXPECT_EQ(withoutTrailingSeparators(L"\\"), L"\\");
    EXPECT_EQ(withoutTrailingSeparators(L""), L"");
}

// The free-space check asks the drive, or the share of a network path.
TEST(Paths, VolumeRootIsTheDriveOrTheShare)
{
    EXPECT_EQ(volumeRoot(L"D:\\Apps\\Prod"), L"D:\\");
    EXPECT_EQ(volumeRoot(L"d:/Apps"), L"d:\\");
    EXPECT_EQ(volumeRoot(L"\\\\server\\share\\Apps\\Prod"), L"\\\\server\\share\\");
    EXPECT_EQ(volumeRoot(L"\\\\server\\share\\"), L"\\\\server\\share\\");
    EXPECT_EQ(volumeRoot(L"//server/share"), L"//server/share\\");
    for (const wchar_t* none :
         {L"\\\\server", L"\\\\server\\", L"\\\\\\share", L"\\\\server\\\\share", L"Apps\\Prod", L"\\Apps", L""})
        EXPECT_EQ(volumeRoot(none), L"") << none;
}

TEST(Paths, FoldersAreMadeWithTheirParentsButNotThroughAFile)
{
    TempDir dir;
    const std::wstring deep = (dir / L"a\\b\\c").wstring();
    EXPECT_TRUE(createFolders(deep));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(createFolders(deep + L"\\")) << "an existing folder is fine";

    writeFile(dir / L"file", "x");
    EXPECT_FALSE(createFolders((dir / L"file\\sub").wstring()));
    EXPECT_FALSE(createFolders((dir / L"file").wstring()));
    uint64_t size = 0;
    EXPECT_TRUE(fileSize((dir / L"file").wstring(), size));
    EXPECT_EQ(size, 1u);
    EXPECT_FALSE(fileSize(deep, size)) << "a folder has no file size";
    EXPECT_TRUE(pathExists(deep));
    EXPECT_FALSE(pathExists((dir / L"none").wstring()));
}

// Prices and required versions come from outside: only plain decimals pass.
TEST(Decimal, OnlyPlainDecimalsAreNumbers)
{
    double value = -1;
    for (const char* text : {"19.9", "5.", ".5", "-3", "0"})
        EXPECT_TRUE(parseDecimal(text, false, value)) << text;
    EXPECT_TRUE(parseDecimal("19.9", false, value) && value == 19.9);
    for (const char* text : {"", "-", ".", "+1", " 1", "1 ", "1.2.3", "0x10", "inf", "nan", "1e3", "1,5"})
        EXPECT_FALSE(parseDecimal(text, false, value)) << text;
    EXPECT_TRUE(parseDecimal("1e3", true, value) && value == 1000);
    EXPECT_FALSE(parseDecimal("1e", true, value));
    EXPECT_FALSE(parseDecimal("1e999", true, value)) << "beyond a double";
}
