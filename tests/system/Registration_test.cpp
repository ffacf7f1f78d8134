#include "system/Registration.h"

#include "system/Encoding.h"
#include "system/Handles.h"
#include "system/util.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <optional>
#include <stdexcept>

namespace {

constexpr wchar_t kUninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr wchar_t kFrameworkKey[] = L"Software\\Microsoft\\.NETFramework";

struct Value {
    DWORD type = 0;
    std::wstring text;
};

// A value as stored, or nothing when it is missing.
std::optional<Value> readValue(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view = 0)
{
    win::RegKey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    Value value;
    if (::RegQueryValueExW(key.get(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    value.text = data;
    return value;
}

// A REG_DWORD value, or nothing when it is missing or of another type.
std::optional<DWORD> readDword(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view = 0)
{
    win::RegKey key;
    DWORD type = 0, value = 0, size = sizeof(value);
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS ||
        ::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value;
}

bool keyExists(HKEY root, const std::wstring& path, REGSAM view = 0)
{
    win::RegKey key;
    return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

// Deletes the keys a test wrote below ROOT when it ends.
class KeyCleanup {
public:
    KeyCleanup(HKEY root, std::vector<std::wstring> paths, REGSAM view = 0)
        : root_(root), paths_(std::move(paths)), view_(view) {}
    ~KeyCleanup()
    {
        for (const std::wstring& path : paths_) {
            const size_t slash = path.find_last_of(L'\\');
            win::RegKey parent;
            const std::wstring parentPath = slash == std::wstring::npos ? L"" : path.substr(0, slash);
            if (::RegOpenKeyExW(root_, parentPath.empty() ? nullptr : parentPath.c_str(), 0, KEY_ALL_ACCESS | view_,
                                parent.put()) == ERROR_SUCCESS)
                ::RegDeleteTreeW(parent.get(), path.substr(slash + 1).c_str());
        }
    }

private:
    HKEY root_;
    std::vector<std::wstring> paths_;
    REGSAM view_;
};

int notifications = 0;
void countNotification() { ++notifications; }

// Counts the change notifications while it lives.
class NotificationCounter {
public:
    NotificationCounter() : previous_(setAssociationChangeNotifier(countNotification)) { notifications = 0; }
    ~NotificationCounter() { setAssociationChangeNotifier(previous_); }
    int count() const { return notifications; }

private:
    AssociationChangeNotifier previous_;
};

} // namespace

// The entry lives in the 32-bit view in either build: a 64-bit test reads it
// back there and finds nothing in its own view.
TEST(Registration, UninstallEntryValuesAndDeletion)
{
    constexpr REGSAM k32 = KEY_WOW64_32KEY;
    const std::wstring id = L"sysint" + newCompactGuid();
    const std::wstring path = kUninstallRoot + id;
    ASSERT_EQ(uninstallEntryPath(id), path);
    KeyCleanup cleanup(HKEY_LOCAL_MACHINE, {path}, k32);
    const std::wstring dir = L"C:\\Program Files\\My App";
    const std::wstring exe = dir + L"\\bin\\app.exe";
    const std::wstring uninstaller = L"C:\\Program Files\\" + id + L"-uninstall\\unin.exe";

    EXPECT_TRUE(writeUninstallEntry(id, L"", exe, dir, uninstaller, L"", L"velmora software", 1025, L"").empty());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY));
    const auto name = readValue(HKEY_LOCAL_MACHINE, path, L"DisplayName", k32);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(name->text, L"");
    EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, path, L"DisplayVersion", k32));
    for (const auto& [quotedValue, target] : {std::pair{L"DisplayIcon", exe}, std::pair{L"ExePath", exe},
                                              std::pair{L"UninstallString", uninstaller}}) {
        const auto value = readValue(HKEY_LOCAL_MACHINE, path, quotedValue, k32);
        ASSERT_TRUE(value) << win::toUtf8(quotedValue);
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(value->text, L"\"" + target + L"\"");
    }
    EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, path, L"Publisher", k32)->text, L"velmora software");
    EXPECT_EQ(readInstalledVersion(id), L"");
    // What the system's list of programs and package managers read.
    EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, path, L"QuietUninstallString", k32)->text,
              L"\"" + uninstaller + L"\" /autouninst");
    EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, path, L"InstallLocation", k32)->text, dir);
    EXPECT_EQ(readInstallLocation(id), dir);
    EXPECT_EQ(readDword(HKEY_LOCAL_MACHINE, path, L"EstimatedSize", k32), 2u) << "1025 bytes are 2 KB, rounded up";
    EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, path, L"InstallDate", k32));
    EXPECT_EQ(readDword(HKEY_LOCAL_MACHINE, path, L"NoModify", k32), 1u);
    EXPECT_EQ(readDword(HKEY_LOCAL_MACHINE, path, L"NoRepair", k32), 1u);

    const SYSTEMTIME day{2026, 3, 0, 7, 0, 0, 0, 0};
    writeUninstallEntry(id, L"My App", exe, dir, uninstaller, L"2.1.0", L"", 1ull << 50, installDateOf(day));
    EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, path, L"DisplayName", k32)->text, L"My App");
    EXPECT_EQ(readInstalledVersion(id), L"2.1.0");
    EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, path, L"InstallDate", k32)->text, L"20260307");
    EXPECT_EQ(readDword(HKEY_LOCAL_MACHINE, path, L"EstimatedSize", k32), MAXDWORD) << "a size too big for the value";

    // Whatever lies below the entry goes with it.
    win::RegKey below;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (path + L"\\extra").c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS | k32, nullptr, below.put(), nullptr),
              ERROR_SUCCESS);
    below.reset();
    EXPECT_EQ(deleteUninstallEntry(L""), ERROR_INVALID_PARAMETER); // names no entry, so takes none
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, path, k32));
    EXPECT_EQ(deleteUninstallEntry(id), ERROR_SUCCESS);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, path, k32));
    EXPECT_EQ(deleteUninstallEntry(id), ERROR_FILE_NOT_FOUND) << "a missing entry is told apart";
    EXPECT_EQ(readInstallLocation(id), L"");
}

// Asked of the system, never assumed from the build: a 64-bit and a 32-bit
// uninstaller find the same folder, as they find the same entry.
TEST(Registration, UninstallerFolderIsOneOfTheProgramFilesFolders)
{
    wchar_t shared[MAX_PATH + 1] = {};
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, shared)));
    EXPECT_EQ(uninstallerFolder(L"a/b:c"), std::wstring(shared) + L"\\a_b_c-uninstall");
    EXPECT_EQ(uninstallerFolder(L""), L"");
}

TEST(Registration, AssociationIsWrittenInThe64BitViewAndNotifiedOnlyWhenTheCommandChanges)
{
    const std::wstring ext = L".s" + newCompactGuid().substr(0, 10);
    EXPECT_EQ(fileTypeName(L".pdf"), L"pdfFile");
    EXPECT_EQ(fileTypeName(L"ofd"), L"fdFile"); // without a dot the first character still goes
    const std::wstring type = fileTypeName(ext);
    KeyCleanup cleanup(HKEY_CLASSES_ROOT, {ext, type}, KEY_WOW64_64KEY);
    NotificationCounter counter;

    registerFileAssociation(ext, type, type, L"C:\\My App\\app.exe", L"");
    registerFileAssociation(ext, type, type, L"C:\\My App\\app.exe", L"");
    EXPECT_EQ(counter.count(), 1);
    EXPECT_EQ(readValue(HKEY_CLASSES_ROOT, ext, nullptr, KEY_WOW64_64KEY)->text, type);
    EXPECT_EQ(readValue(HKEY_CLASSES_ROOT, type, nullptr, KEY_WOW64_64KEY)->text, type);
    EXPECT_EQ(readValue(HKEY_CLASSES_ROOT, type + L"\\shell\\open\\command", nullptr, KEY_WOW64_64KEY)->text,
              L"\"C:\\My App\\app.exe\" \"%1\"");

    registerFileAssociation(ext, type, L"Described", L"C:\\My App\\app.exe", L"/view");
    EXPECT_EQ(counter.count(), 2);
    EXPECT_EQ(readValue(HKEY_CLASSES_ROOT, type, nullptr, KEY_WOW64_64KEY)->text, L"Described");
    EXPECT_EQ(readValue(HKEY_CLASSES_ROOT, type + L"\\shell\\open\\command", nullptr, KEY_WOW64_64KEY)->text,
              L"\"C:\\My App\\app.exe\" /view \"%1\"");
}

TEST(Registration, UrlProtocolIsWrittenInThe64BitView)
{
    const std::wstring protocol = L"sysint" + newCompactGuid().substr(0, 10);
    KeyCleanup cleanup(HKEY_CLASSES_ROOT, {protocol}, KEY_WOW64_64KEY);
    NotificationCounter counter;
    const std::wstring exe = L"C:\\My App\\app.exe";

    registerUrlProtocol(protocol, L"My Protocol", exe);
    registerUrlProtocol(protocol, L"My Protocol", exe);
    EXPECT_EQ(counter.count(), 1);
    EXPECT_EQ(readValue(HKEY_CLASSES_ROOT, protocol, nullptr, KEY_WOW64_64KEY)->text, L"My Protocol");
    EXPECT_EQ(readValue(HKEY_CLASSES_ROOT, protocol, L"URL Protocol", KEY_WOW64_64KEY)->text, exe);
    EXPECT_EQ(readValue(HKEY_CLASSES_ROOT, protocol + L"\\shell\\open\\command", nullptr, KEY_WOW64_64KEY)->text,
              L"\"" + exe + L"\" \"%1\"");
}

namespace {

// Framework subkeys made for one test, in the 32-bit view that the check
// reads in either build, and removed afterwards; the framework key must hold
// no version of its own, or it would decide the results.
class FrameworkVersions : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kFrameworkKey, 0, nullptr, 0,
                                    KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, key_.put(), nullptr),
                  ERROR_SUCCESS);
        DWORD count = 1;
        ASSERT_EQ(::RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(count, 0u) << "the framework key already holds versions";
    }
    void TearDown() override
    {
        for (const std::wstring& name : made_)
            ::RegDeleteTreeW(key_.get(), name.c_str());
    }
    void add(const std::wstring& name)
    {
        win::RegKey sub;
        ASSERT_EQ(::RegCreateKeyExW(key_.get(), name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.put(),
                                    nullptr),
                  ERROR_SUCCESS);
        made_.push_back(name);
    }

    win::RegKey key_;
    std::vector<std::wstring> made_;
};

// Sets the user's decimal separator while it lives.
class DecimalSeparator {
public:
    explicit DecimalSeparator(const wchar_t* separator)
    {
        ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, old_, 8);
        ::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator);
    }
    ~DecimalSeparator() { ::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, old_); }

private:
    wchar_t old_[8] = {};
};

bool installed(const std::wstring& required, DotNetProblem expected = DotNetProblem::None)
{
    DotNetProblem problem = DotNetProblem::RegistryError;
    std::wstring error;
    const bool result = isDotNetInstalled(required, problem, error);
    EXPECT_EQ(problem, expected) << win::toUtf8(required);
    return result;
}

std::wstring userDecimalSeparator()
{
    wchar_t separator[8] = {};
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
    return separator;
}

} // namespace

TEST_F(FrameworkVersions, OnlyLowercaseVersionSubkeysCount)
{
    add(L"V4.0");
    add(L"v2.0.50727");
    add(L"policy");
    EXPECT_TRUE(installed(L"2"));
    EXPECT_FALSE(installed(L"4"));
    add(L"v4.0.30319");
    EXPECT_TRUE(installed(L"4"));
    EXPECT_FALSE(installed(L"4.5"));
}

TEST_F(FrameworkVersions, NoOrNoNumericRequirementFailsAndSaysWhy)
{
    add(L"v4.0.30319");
    EXPECT_FALSE(installed(L"", DotNetProblem::NoVersionRequired));
    EXPECT_FALSE(installed(L"four", DotNetProblem::VersionNotANumber));
}

TEST_F(FrameworkVersions, ACommaAsTheUserDecimalSeparatorStillReadsVersions)
{
    add(L"v4.0.30319");
    DecimalSeparator comma(L",");
    ASSERT_EQ(userDecimalSeparator(), L",");
    EXPECT_TRUE(installed(L"4"));
    EXPECT_TRUE(installed(L"3.5"));
    EXPECT_TRUE(installed(L"3,5"));
    EXPECT_FALSE(installed(L"4.5"));
}
