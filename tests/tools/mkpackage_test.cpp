#include "mkpackage/Package.h"
#include "mkpackage/Signing.h"

#include "system/Handles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <windows.h>

#include <aclapi.h>

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

namespace {

using signing::Verdict;

class SigningTest : public PackageTest {
protected:
    void SetUp() override
    {
        PackageTest::SetUp();
        std::string error;
        ASSERT_TRUE(makeKeyPair(privateKey(L"vendor"), publicKey(L"vendor"), error)) << error;
        ASSERT_TRUE(makeKeyPair(privateKey(L"other"), publicKey(L"other"), error)) << error;
        ASSERT_TRUE(readPublicKeyFile(publicKey(L"vendor"), vendor, error)) << error;
    }

    std::wstring privateKey(const std::wstring& name) const { return (dir / (name + L".key")).wstring(); }
    static signing::Binding binding(const char* softId, const char* version)
    {
        signing::Binding bound{signing::appIdOf(softId), {}};
        EXPECT_TRUE(signing::parseVersion(version, bound.version));
        return bound;
    }
    std::wstring publicKey(const std::wstring& name) const { return (dir / (name + L".pub")).wstring(); }

    // The archive's bytes read once, in pieces of PIECE bytes, as a
    // download hands them over.
    signing::Verification verifyBytes(const std::string& bytes, size_t piece, const char* softId = "notes") const
    {
        signing::PackageDigest digest;
        for (size_t at = 0; at < bytes.size(); at += piece)
            digest.update(bytes.data() + at, std::min(piece, bytes.size() - at));
        const signing::AppId product = signing::appIdOf(softId);
        return signing::verifyPackage(digest, vendor, &product);
    }

    signing::PublicKey vendor;
    const signing::Binding notes = binding("notes", "2.10.0.7");
};

} // namespace

TEST_F(SigningTest, SignedPackageVerifiesInAnyPiecesAndEveryChangeIsCaught)
{
    std::string error;
    ASSERT_TRUE(buildPackage(product.wstring(), archive, PackageEncryption::Aes256, kPackagePassword, error));
    ASSERT_TRUE(signPackage(archive, privateKey(L"vendor"), &notes, error)) << error;
    EXPECT_EQ(readBack(archive, kPackagePassword).at("app.exe").content, std::string(100000, 'x') + "end");

    const std::string bytes = readFile(archive);
    const size_t comment = bytes.size() - signing::kFormat2CommentLength;
    EXPECT_EQ(bytes.substr(comment + 109, 29), " ver=00002.00010.00000.00007 ");
    for (size_t piece : {size_t(1), size_t(7), signing::kFormat1CommentLength, size_t(65536), bytes.size()}) {
        const auto result = verifyBytes(bytes, piece);
        EXPECT_EQ(result.verdict, Verdict::Valid) << piece;
        EXPECT_EQ(result.signer, vendor.id);
        EXPECT_EQ(result.format, 2);
        EXPECT_EQ(signing::versionText(result.binding.version), "2.10.0.7");
    }
    EXPECT_EQ(verifyBytes(bytes, 65536, "other").verdict, Verdict::OtherProduct);

    const struct {
        size_t at;
        Verdict verdict;
    } changes[] = {
        {0, Verdict::Changed},                                      // first local header
        {bytes.size() / 2, Verdict::Changed},                       // entry data
        {comment - signing::kEndRecordLength + 8, Verdict::Changed}, // end record: entry count
        {comment - 2, Verdict::Malformed},                          // end record: comment length
        {bytes.size() - 1, Verdict::Changed},                       // the signature itself
        {comment + 30, Verdict::OtherKey},                          // the key id
        {comment + 50, Verdict::Changed},                           // the product
        {comment + 136, Verdict::Changed},                          // the version
        {comment + 131, Verdict::Malformed},                        // a dot of the version
    };
    for (const auto& change : changes) {
        std::string changed = bytes;
        changed[change.at] = changed[change.at] == '1' ? '2' : '1';
        EXPECT_EQ(verifyBytes(changed, 65536).verdict, change.verdict) << change.at;
    }
    EXPECT_EQ(verifyBytes(bytes + "x", 65536).verdict, Verdict::NotSigned) << "a byte after the signature";
    EXPECT_EQ(verifyBytes(bytes.substr(1), 65536).verdict, Verdict::Changed) << "a byte less at the start";
}

TEST_F(SigningTest, VerifyNamesTheSignerOrWhyNot)
{
    std::string error;
    ASSERT_TRUE(buildPackage(product.wstring(), archive, PackageEncryption::Aes256, kPackagePassword, error));
    signing::Verification result;
    ASSERT_TRUE(verifyPackageFile(archive, vendor, nullptr, result, error)) << error;
    EXPECT_EQ(result.verdict, Verdict::NotSigned);

    ASSERT_TRUE(signPackage(archive, privateKey(L"other"), &notes, error)) << error;
    ASSERT_TRUE(verifyPackageFile(archive, vendor, nullptr, result, error)) << error;
    EXPECT_EQ(result.verdict, Verdict::OtherKey);
    signing::PublicKey other;
    ASSERT_TRUE(readPublicKeyFile(publicKey(L"other"), other, error));
    EXPECT_EQ(result.signer, other.id);

    // Signed again, by the vendor in format 1: the other signature is gone,
    // and the older format still reads, naming no product.
    ASSERT_TRUE(signPackage(archive, privateKey(L"vendor"), nullptr, error)) << error;
    ASSERT_TRUE(verifyPackageFile(archive, vendor, nullptr, result, error)) << error;
    EXPECT_EQ(result.verdict, Verdict::Valid);
    EXPECT_EQ(result.format, 1);
    EXPECT_EQ(verifyBytes(readFile(archive), 65536, "other").verdict, Verdict::Valid);
}

TEST_F(SigningTest, PrivateKeyIsTheOwnersAloneAndNeverReplaced)
{
    // No access for anyone but the owner: on Windows one rule, for the user
    // who made the key; Wine keeps it as the file's mode and reads that back
    // (0640 with the usual umask: its owner and the owner's group).
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL acl = nullptr;
    ASSERT_EQ(::GetNamedSecurityInfoW(privateKey(L"vendor").c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                      nullptr, &acl, nullptr, &descriptor),
              ERROR_SUCCESS);
    const win::LocalMemory held(descriptor);
    ASSERT_NE(acl, nullptr);
    for (WELL_KNOWN_SID_TYPE others : {WinWorldSid, WinBuiltinUsersSid, WinAuthenticatedUserSid}) {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof(sid);
        ASSERT_TRUE(::CreateWellKnownSid(others, nullptr, sid, &size));
        for (DWORD i = 0; i < acl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(::GetAce(acl, i, reinterpret_cast<void**>(&ace)));
            EXPECT_FALSE(ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                         ::EqualSid(reinterpret_cast<PSID>(&ace->SidStart), sid))
                << "a rule for others: " << others;
        }
    }

    // Neither file of a pair is ever written over, and nothing new is left.
    const std::string before = readFile(publicKey(L"vendor"));
    std::string error;
    EXPECT_FALSE(makeKeyPair(privateKey(L"new"), publicKey(L"vendor"), error));
    EXPECT_NE(error.find("exists already"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(privateKey(L"new")));
    EXPECT_EQ(readFile(publicKey(L"vendor")), before);
    EXPECT_FALSE(makeKeyPair(privateKey(L"vendor"), publicKey(L"new"), error));
    EXPECT_FALSE(std::filesystem::exists(publicKey(L"new")));
}

TEST_F(SigningTest, ZipOfAnotherToolWithACommentIsSignedAndStillReadable)
{
    std::string error;
    ASSERT_TRUE(buildPackage(product.wstring(), archive, PackageEncryption::Pkware, kPackagePassword, error));
    {
        zip_t* zip = zip_open(std::filesystem::path(archive).string().c_str(), 0, nullptr);
        ASSERT_NE(zip, nullptr);
        const std::string note = "made by another tool; PK\x05\x06 inside";
        zip_set_archive_comment(zip, note.data(), static_cast<zip_uint16_t>(note.size()));
        ASSERT_EQ(zip_close(zip), 0);
    }
    ASSERT_TRUE(signPackage(archive, privateKey(L"vendor"), &notes, error)) << error;
    EXPECT_EQ(verifyBytes(readFile(archive), 65536).verdict, Verdict::Valid);
    EXPECT_EQ(readBack(archive, kPackagePassword).at("locked.ini").content, "keep");

    // Bytes after the end record, and no zip at all, are refused.
    writeFile(archive, readFile(archive) + "trailing");
    EXPECT_FALSE(signPackage(archive, privateKey(L"vendor"), &notes, error));
    writeFile(archive, "not a zip");
    EXPECT_FALSE(signPackage(archive, privateKey(L"vendor"), &notes, error));
    EXPECT_FALSE(signPackage(archive, publicKey(L"vendor"), &notes, error));
    EXPECT_NE(error.find("no P-256 private key"), std::string::npos) << "a public key cannot sign: " << error;
}

TEST(PackageVersion, UpToFourNumbersOfAtMostFiveDigits)
{
    signing::PackageVersion version{};
    EXPECT_TRUE(signing::parseVersion("2.0.1", version));
    EXPECT_EQ(signing::versionText(version), "2.0.1.0");
    EXPECT_TRUE(signing::parseVersion("99999.0.0.10", version));
    EXPECT_LT((signing::PackageVersion{2, 9, 0, 0}), (signing::PackageVersion{2, 10, 0, 0}));
    for (const char* bad : {"", "2.", ".2", "1.2.3.4.5", "100000", "2.x", "-1", "2 .0"})
        EXPECT_FALSE(signing::parseVersion(bad, version)) << bad;
}

TEST(PackageKey, OnlyAP256PublicKeyIsRead)
{
    signing::PublicKey key;
    // A P-256 key with a note before it, as keygen writes it.
    const std::string pem = "note\n-----BEGIN PUBLIC KEY-----\n"
                            "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEp8Sx/7S7wTvee30gNt2LfbM3dgyn\n"
                            "kinsBmp2XPTCkGaRNAKFxJZf6OHiE/C6wYgFJO8ekgoZ5yZ9n1drdlghwQ==\n"
                            "-----END PUBLIC KEY-----\n";
    EXPECT_TRUE(signing::parsePublicKey(pem, key));
    EXPECT_EQ(key.point[0], 0x04);
    std::string offCurve = pem;
    offCurve[offCurve.find("drdlg")] = 'e';
    EXPECT_FALSE(signing::parsePublicKey(offCurve, key));
    // An RSA key.
    EXPECT_FALSE(signing::parsePublicKey("-----BEGIN PUBLIC KEY-----\n"
                                         "MFwwDQYJKoZIhvcNAQEBBQADSwAwSAJBANBYISeuE1ybGYl+g6D3kheGkopgtvkM\n"
                                         "EEfJh6LjGZ4gPuVhcwkrYw4qZIKxtsUsbMYr9pDLJ9Tsx64wlAqtRCECAwEAAQ==\n"
                                         "-----END PUBLIC KEY-----\n",
                                         key));
    EXPECT_FALSE(signing::parsePublicKey("", key));
}
