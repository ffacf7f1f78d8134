#include "system/PrivateTempDir.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

namespace {

constexpr DWORD kAnyWrite = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                            FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool isAdministratorsOrSystem(PSID sid)
{
    return ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(sid, WinLocalSystemSid);
}

// Owned by Administrators, nothing inherited from the parent, full control
// for Administrators and the system, passed on to everything inside; calls
// CHECK(sid, mask) for every other entry.
template <typename Check>
void expectAdministratorsFolder(const win::LocalMemory& descriptor, Check check)
{
    ASSERT_TRUE(descriptor);
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted));
    EXPECT_TRUE(owner && ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) << "owners may rewrite the list";

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from the parent";
    BOOL present = FALSE;
    PACL list = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.get(), &present, &list, &defaulted));
    ASSERT_TRUE(present && list) << "no list would let everyone in";

    bool administrators = false, system = false;
    for (DWORD i = 0; i < list->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(list, i, reinterpret_cast<void**>(&ace)));
        ASSERT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) << "passed on, not inherited";
        PSID sid = &ace->SidStart;
        administrators |= ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) != FALSE;
        system |= ::IsWellKnownSid(sid, WinLocalSystemSid) != FALSE;
        if (isAdministratorsOrSystem(sid))
            EXPECT_EQ(ace->Mask, static_cast<DWORD>(FILE_ALL_ACCESS));
        else
            check(sid, ace->Mask);
    }
    EXPECT_TRUE(administrators && system);
}

// Wine does not keep a folder's access list, so the descriptor the folder
// is made with is what is checked here; the system enforces it.
TEST(PrivateTempDir, SecurityLetsOnlyAdministratorsAndTheSystemIn)
{
    expectAdministratorsFolder(privateFolderSecurity(),
                               [](PSID, DWORD) { ADD_FAILURE() << "an entry lets someone else in"; });

    // The uninstaller's folder: users may read and run, never write.
    bool users = false;
    expectAdministratorsFolder(readableFolderSecurity(), [&](PSID sid, DWORD mask) {
        users |= ::IsWellKnownSid(sid, WinBuiltinUsersSid) != FALSE;
        EXPECT_EQ(mask & kAnyWrite, 0u);
        EXPECT_EQ(mask & (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE), FILE_GENERIC_READ | FILE_GENERIC_EXECUTE);
    });
    EXPECT_TRUE(users);
}

TEST(PrivateTempDir, OneFolderPerRunInTheSystemTemporaryFolderHeldOpen)
{
    const std::wstring folder = getPrivateTempDir();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(getPrivateTempDir(), folder);
    EXPECT_EQ(privateTempPath(L"a.zip"), folder + L"a.zip");
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
    const std::wstring parent = std::wstring(windows, length) + L"\\Temp\\";
    EXPECT_EQ(_wcsnicmp(folder.c_str(), parent.c_str(), parent.size()), 0);
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    // Empty as it is, no one renames or removes it while the run lasts.
    const std::wstring path = folder.substr(0, folder.size() - 1);
    EXPECT_FALSE(::MoveFileW(path.c_str(), (path + L"-moved").c_str()));
    EXPECT_FALSE(::RemoveDirectoryW(path.c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

// Nothing from before stays in a folder made again.
TEST(PrivateTempDir, AReadableFolderIsMadeAnew)
{
    const std::filesystem::path folder = std::filesystem::path(getPrivateTempDir()) / L"readable";
    writeFile(folder / L"sub" / L"unin.exe", "planted");
    EXPECT_TRUE(makeReadableFolder(folder.wstring()));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    EXPECT_TRUE(makeReadableFolder(folder.wstring()));
    std::filesystem::remove(folder);
}

} // namespace
