#include "system/FileReplace.h"

#include "system/Handles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// What was planted under the target's name loses, and nothing it points to
// is written.
TEST(FileReplace, PlantedFilesAreReplacedNeverWrittenThrough)
{
    TempDir dir;
    const fs::path source = dir / L"source.bin";
    writeFile(source, "new bytes");

    const fs::path readOnly = dir / L"unin.exe";
    writeFile(readOnly, "old");
    ::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_TRUE(copyReplacing(source.wstring(), readOnly.wstring()));
    EXPECT_EQ(readFile(readOnly), "new bytes");
    EXPECT_EQ(::GetFileAttributesW(readOnly.c_str()) &
                  (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              0u);

    const fs::path outside = dir / L"elsewhere.txt";
    writeFile(outside, "keep me");
    const fs::path linked = dir / L"config.dat";
    ASSERT_TRUE(::CreateHardLinkW(linked.c_str(), outside.c_str(), nullptr));
    EXPECT_TRUE(copyReplacing(source.wstring(), linked.wstring()));
    EXPECT_EQ(readFile(linked), "new bytes");
    EXPECT_EQ(readFile(outside), "keep me");

    // In use: it keeps its bytes, the call says so, and nothing is left beside it.
    const fs::path busy = dir / L"busy.exe";
    writeFile(busy, "busy");
    const win::FileHandle held(
        ::CreateFileW(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(copyReplacing(source.wstring(), busy.wstring()));
    EXPECT_EQ(readFile(busy), "busy");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 5);
}

} // namespace
