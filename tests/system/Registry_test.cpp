#include "system/Registry.h"

#include "system/WinError.h"
#include "tests/support/RegTestKey.h"

#include <gtest/gtest.h>

namespace {

bool keyExists(HKEY root, const std::wstring& path, REGSAM view = 0)
{
    win::RegKey key;
    return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

} // namespace

TEST(Registry, ReadingCreatesTheKeyAndAMissingValueReadsEmpty)
{
    RegTestKey key;
    ASSERT_FALSE(keyExists(HKEY_CURRENT_USER, key.path()));
    EXPECT_EQ(regReadString(HKEY_CURRENT_USER, key.path(), L"source"), L"");
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, key.path()));
}

TEST(Registry, WrittenTextReadsBackAndEmptyEqualsMissing)
{
    RegTestKey key;
    regWriteString(HKEY_CURRENT_USER, key.path(), L"source", L"abc \u4e2d");
    EXPECT_EQ(regReadString(HKEY_CURRENT_USER, key.path(), L"source"), L"abc \u4e2d");

    DWORD type = 0, size = 0;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, key.path().c_str(), L"source", RRF_RT_ANY, &type, nullptr, &size), 0);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, (5u + 1u) * sizeof(wchar_t)); // the terminating zero counted

    regWriteString(HKEY_CURRENT_USER, key.path(), L"source", L"");
    EXPECT_EQ(regReadString(HKEY_CURRENT_USER, key.path(), L"source"), L"");
}

namespace {

void writeInView(const std::wstring& path, REGSAM view, const wchar_t* text)
{
    win::RegKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                key.put(), nullptr),
              0);
    const auto bytes = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
    ASSERT_EQ(::RegSetValueExW(key.get(), L"guid", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes), 0);
}

} // namespace

// HKLM\Software has a 32-bit and a 64-bit view: regReadString64 reads the
// 64-bit one whatever the program's own bitness, regReadString the program's
// own or the one it is given.
TEST(Registry, SixtyFourBitReadPath)
{
    RegTestKey key(HKEY_LOCAL_MACHINE);
    writeInView(key.path(), KEY_WOW64_64KEY, L"sixty-four");
    writeInView(key.path(), KEY_WOW64_32KEY, L"thirty-two");
    EXPECT_EQ(regReadString64(HKEY_LOCAL_MACHINE, key.path(), L"guid"), L"sixty-four");
    EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, key.path(), L"guid"),
              sizeof(void*) == 8 ? L"sixty-four" : L"thirty-two");
    EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, key.path(), L"guid", KEY_WOW64_32KEY), L"thirty-two");
}

TEST(Registry, ErrorsThrowExceptInTheSixtyFourBitRead)
{
    RegTestKey key;
    const DWORD number = 5;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.path().c_str(), L"n", REG_DWORD, &number, sizeof(number)), 0);
    EXPECT_THROW(regReadString(HKEY_CURRENT_USER, key.path(), L"n"), win::Win32Error);
    EXPECT_EQ(regReadString64(HKEY_CURRENT_USER, key.path(), L"n"), L"");
    const auto noSuchRoot = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7654321));
    EXPECT_THROW(regWriteString(noSuchRoot, key.path(), L"x", L"y"), win::Win32Error);
    EXPECT_THROW(regReadString(noSuchRoot, key.path(), L"x"), win::Win32Error);
    EXPECT_EQ(regReadString64(noSuchRoot, key.path(), L"x"), L"");
}

// The primitives report a missing key or value as ERROR_FILE_NOT_FOUND and
// another type as ERROR_UNSUPPORTED_TYPE, create nothing when only opening,
// and leave the caller's value alone when nothing was read.
TEST(Registry, StatusOfWhatIsNotThere)
{
    RegTestKey missing;
    win::RegKey key;
    EXPECT_EQ(reg::openKey(HKEY_CURRENT_USER, missing.path(), KEY_READ, key), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, missing.path()));

    ASSERT_EQ(reg::createKey(HKEY_CURRENT_USER, missing.path(), KEY_ALL_ACCESS, key), ERROR_SUCCESS);
    std::wstring text = L"stale";
    EXPECT_EQ(reg::readString(key.get(), L"none", text), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(text, L"");
    EXPECT_EQ(reg::missingAsEmpty(reg::readString(key.get(), L"none", text)), ERROR_SUCCESS);
    DWORD value = 7;
    EXPECT_EQ(reg::readDword(key.get(), L"none", value), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, 7u);

    ASSERT_EQ(reg::writeDword(key.get(), L"n", 5), ERROR_SUCCESS);
    EXPECT_EQ(reg::readString(key.get(), L"n", text), ERROR_UNSUPPORTED_TYPE);
    ASSERT_EQ(reg::writeString(key.get(), L"s", L"x"), ERROR_SUCCESS);
    EXPECT_EQ(reg::readDword(key.get(), L"s", value), ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(value, 7u);
}
