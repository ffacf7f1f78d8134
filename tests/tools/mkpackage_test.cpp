#include "mkpackage/Package.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <windows.h>

#include <map>

namespace {

struct Entry {
    std::string content;
    zip_uint16_t encryption = 0;
    zip_uint32_t attributes = 0;
};

// Reads every entry of ARCHIVE back with PASSWORD.
std::map<std::string, Entry> readBack(const std::wstring& archive, const char* password)
{
    std::map<std::string, Entry> entries;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_win32w_create(archive.c_str(), 0, -1, &error);
    zip_t* zip = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!zip) {
        ADD_FAILURE() << "cannot open the archive";
        return entries;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(zip, i, 0, &stat);
        Entry& entry = entries[stat.name];
        entry.encryption = stat.encryption_method;
        zip_uint8_t opsys = 0;
        zip_file_get_external_attributes(zip, i, 0, &opsys, &entry.attributes);
        if (zip_file_t* file = zip_fopen_index_encrypted(zip, i, 0, password)) {
            entry.content.resize(stat.size);
            const zip_int64_t n = zip_fread(file, entry.content.data(), stat.size);
            entry.content.resize(n < 0 ? 0 : static_cast<size_t>(n));
            zip_fclose(file);
        }
    }
    zip_close(zip);
    return entries;
}

class PackageTest : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path product = dir / L"product";
    std::wstring archive = (dir / L"package.zip").wstring();

    void SetUp() override
    {
        writeFile(product / L"app.exe", std::string(100000, 'x') + "end");
        writeFile(product / L"bin" / L"\u4e2d\u6587.dll", "library");
        writeFile(product / L"empty.txt", "");
        writeFile(product / L"locked.ini", "keep");
        ::SetFileAttributesW((product / L"locked.ini").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    }
};

} // namespace

TEST_F(PackageTest, AesPackageHoldsEveryFileEncryptedWithItsAttributes)
{
    std::string error;
    ASSERT_TRUE(buildPackage(product.wstring(), archive, PackageEncryption::Aes256, kPackagePassword, error)) << error;
    const auto entries = readBack(archive, kPackagePassword);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries.at("app.exe").content, std::string(100000, 'x') + "end");
    EXPECT_EQ(entries.at("bin/\xE4\xB8\xAD\xE6\x96\x87.dll").content, "library");
    EXPECT_EQ(entries.at("empty.txt").content, "");
    EXPECT_EQ(entries.at("app.exe").encryption, ZIP_EM_AES_256);
    constexpr zip_uint32_t kFlags = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    EXPECT_EQ(entries.at("locked.ini").attributes & kFlags, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(entries.at("app.exe").attributes & kFlags, 0u);
    EXPECT_TRUE(entries.at("bin/").attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(PackageTest, PkwarePackageAndWrongPassword)
{
    std::string error;
    ASSERT_TRUE(buildPackage(product.wstring(), archive, PackageEncryption::Pkware, kPackagePassword, error)) << error;
    const auto entries = readBack(archive, kPackagePassword);
    EXPECT_EQ(entries.at("locked.ini").encryption, ZIP_EM_TRAD_PKWARE);
    EXPECT_EQ(entries.at("locked.ini").content, "keep");

    ASSERT_TRUE(buildPackage(product.wstring(), archive, PackageEncryption::Aes256, "other", error)) << error;
    EXPECT_EQ(readBack(archive, kPackagePassword).at("app.exe").content, "");
}

TEST_F(PackageTest, MissingFolderIsReported)
{
    std::string error;
    EXPECT_FALSE(buildPackage((dir / L"none").wstring(), archive, PackageEncryption::Aes256, kPackagePassword, error));
    EXPECT_NE(error.find("cannot read folder"), std::string::npos);
}
