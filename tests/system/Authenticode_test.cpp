#include "system/Authenticode.h"

#include "system/util.h"
#include "tests/support/Helper.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <wintrust.h>

namespace {

// The build pins its first test certificate (the list beside the
// certificates); the second signs a stand-in that nobody pins. Under Wine
// the chain is not checked: only the pin tells the two apart.
std::vector<CertificateDigest> pinnedTestSigner()
{
    std::vector<CertificateDigest> signers;
    EXPECT_TRUE(parseCertificateDigests(readFile(getExeDir() + L"..\\test-signing\\framework-signers.txt"), signers));
    EXPECT_EQ(signers.size(), 1u);
    return signers;
}

TEST(Authenticode, OnlyAPinnedSignerOfAnUnchangedProgramPasses)
{
    const std::vector<CertificateDigest> pinned = pinnedTestSigner();
    const std::wstring signedHelper = getExeDir() + L"signed_helper.exe";
    LONG status = -1;
    EXPECT_TRUE(isSignerPinned(signedHelper, pinned, status));
    EXPECT_EQ(status, 0);

    EXPECT_FALSE(isSignerPinned(getExeDir() + L"other_signed_helper.exe", pinned, status));
    EXPECT_EQ(status, TRUST_E_SUBJECT_NOT_TRUSTED);
    // Without a list, Microsoft's signers alone.
    EXPECT_FALSE(isSignerPinned(signedHelper, {}, status));
    EXPECT_EQ(status, TRUST_E_SUBJECT_NOT_TRUSTED);

    EXPECT_FALSE(isSignerPinned(markHelperPath(), pinned, status));
    EXPECT_EQ(status, TRUST_E_NOSIGNATURE);
    const TempDir dir;
    std::string bytes = readFile(signedHelper);
    bytes[bytes.size() / 2] ^= 1;
    writeFile(dir / L"changed.exe", bytes);
    EXPECT_FALSE(isSignerPinned((dir / L"changed.exe").wstring(), pinned, status));
    EXPECT_NE(status, 0);
    EXPECT_FALSE(isSignerPinned((dir / L"missing.exe").wstring(), pinned, status));
}

TEST(Authenticode, AllowListHoldsOnlyDigests)
{
    const std::string digest = "00112233445566778899aabbccddeeff00112233445566778899AABBCCDDEEFF";
    std::vector<CertificateDigest> signers;
    ASSERT_TRUE(parseCertificateDigests("# vendor\r\n\n  " + digest + " \r\n" + digest, signers));
    ASSERT_EQ(signers.size(), 2u);
    EXPECT_EQ(signers[0][15], 0xFF);
    EXPECT_EQ(signers[1][31], 0xFF);
    for (const std::string& bad : {digest.substr(1), digest + "0", "sha256:" + digest, digest.substr(0, 63) + "g"})
        EXPECT_FALSE(parseCertificateDigests(bad, signers)) << bad;
    EXPECT_EQ(signers.size(), 2u);
}

} // namespace
