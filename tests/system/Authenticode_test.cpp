#include "system/Authenticode.h"

#include "system/util.h"
#include "tests/support/Helper.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <wintrust.h>

namespace {

// Under Wine the signature's digest is checked, not its chain: the test
// certificate passes, an untrusted signer is refused on Windows only.
TEST(Authenticode, SignedProgramPassesUnsignedOrChangedDoNot)
{
    const std::wstring signedHelper = getExeDir() + L"signed_helper.exe";
    LONG status = -1;
    EXPECT_TRUE(isSignatureTrusted(signedHelper, status));
    EXPECT_EQ(status, 0);

    EXPECT_FALSE(isSignatureTrusted(markHelperPath(), status));
    EXPECT_EQ(status, TRUST_E_NOSIGNATURE);

    const TempDir dir;
    std::string bytes = readFile(signedHelper);
    bytes[bytes.size() / 2] ^= 1;
    writeFile(dir / L"changed.exe", bytes);
    EXPECT_FALSE(isSignatureTrusted((dir / L"changed.exe").wstring(), status));
    EXPECT_NE(status, 0);

    EXPECT_FALSE(isSignatureTrusted((dir / L"missing.exe").wstring(), status));
}

} // namespace
