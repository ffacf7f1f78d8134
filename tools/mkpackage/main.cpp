// mkpackage: builds, signs and checks a product's package archive.
//   mkpackage [--pkware] [--password TEXT] [--sign KEY] FOLDER ARCHIVE.zip
//   mkpackage keygen PRIVATE.key PUBLIC.pub
//   mkpackage sign KEY ARCHIVE.zip
//   mkpackage verify PUBLIC.pub ARCHIVE.zip
// Packing uses WinZip AES-256 by default; --pkware the traditional PKWARE
// scheme; --sign signs the new archive. "sign" signs an archive made by any
// tool (its comment is replaced). "verify" tells which key signed an archive
// or why it would be refused, and ends with 0 only for a valid signature.
#include "Package.h"
#include "Signing.h"

#include "system/Encoding.h"

#include <cstdio>
#include <string>

namespace {

constexpr char kUsage[] = "usage: mkpackage [--pkware] [--password TEXT] [--sign KEY] FOLDER ARCHIVE.zip\n"
                          "       mkpackage keygen PRIVATE.key PUBLIC.pub\n"
                          "       mkpackage sign KEY ARCHIVE.zip\n"
                          "       mkpackage verify PUBLIC.pub ARCHIVE.zip\n";
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

int usage()
{
    std::fputs(kUsage, stderr);
    return kBadUsage;
}

int failed(const std::string& error)
{
    std::fprintf(stderr, "mkpackage: %s\n", error.c_str());
    return kFailed;
}

int verify(const std::wstring& keyFile, const std::wstring& archive)
{
    std::string error;
    signing::PublicKey key;
    signing::Verification result;
    if (!readPublicKeyFile(keyFile, key, error) || !verifyPackageFile(archive, key, result, error))
        return failed(error);
    const std::string signer = signing::keyIdText(result.signer);
    switch (result.verdict) {
    case signing::Verdict::Valid:
        std::printf("signed by key %s\n", signer.c_str());
        return 0;
    case signing::Verdict::NotSigned:
        std::printf("not signed\n");
        break;
    case signing::Verdict::Malformed:
        std::printf("the signature is damaged or is not the archive's comment\n");
        break;
    case signing::Verdict::OtherKey:
        std::printf("signed by key %s, not by key %s\n", signer.c_str(), signing::keyIdText(key.id).c_str());
        break;
    case signing::Verdict::Changed:
        std::printf("signed by key %s, but changed since it was signed\n", signer.c_str());
        break;
    }
    return kFailed;
}

int pack(int argc, wchar_t** argv)
{
    PackageEncryption encryption = PackageEncryption::Aes256;
    std::string password = kPackagePassword;
    std::wstring key;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == L'-'; ++arg) {
        const std::wstring option = argv[arg];
        if (option == L"--pkware")
            encryption = PackageEncryption::Pkware;
        else if (option == L"--password" && arg + 1 < argc)
            password = win::toAnsi(argv[++arg]);
        else if (option == L"--sign" && arg + 1 < argc)
            key = argv[++arg];
        else
            return usage();
    }
    if (argc - arg != 2)
        return usage();
    std::string error;
    if (!buildPackage(argv[arg], argv[arg + 1], encryption, password, error) ||
        (!key.empty() && !signPackage(argv[arg + 1], key, error)))
        return failed(error);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    std::string error;
    if (command == L"keygen" || command == L"sign" || command == L"verify") {
        if (argc != 4)
            return usage();
        if (command == L"verify")
            return verify(argv[2], argv[3]);
        const bool done =
            command == L"keygen" ? makeKeyPair(argv[2], argv[3], error) : signPackage(argv[3], argv[2], error);
        return done ? 0 : failed(error);
    }
    return pack(argc, argv);
}
