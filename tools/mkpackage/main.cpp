// mkpackage: builds, signs and checks a product's package archive.
//   mkpackage [--pkware] [--password TEXT] [--sign KEY BINDING] FOLDER ARCHIVE.zip
//   mkpackage keygen PRIVATE.key PUBLIC.pub
//   mkpackage sign (BINDING | --format1) KEY ARCHIVE.zip
//   mkpackage verify [PRODUCT] PUBLIC.pub ARCHIVE.zip
// BINDING is --version VERSION and PRODUCT; PRODUCT is --soft-id ID or
// --product FOLDER (whose config.json names the SoftId). Packing uses WinZip
// AES-256 by default; --pkware the traditional PKWARE scheme; --sign signs
// the new archive. "sign" signs an archive made by any tool (its comment is
// replaced), in format 2, bound to the product and version, or with
// --format1 for installers built before it. "verify" tells which key signed
// an archive, for which product and version, or why it would be refused,
// and ends with 0 only for a valid signature (for PRODUCT, when given).
#include "Package.h"
#include "Signing.h"

#include "system/Encoding.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr char kUsage[] =
    "usage: mkpackage [--pkware] [--password TEXT] [--sign KEY --version V (--soft-id ID | --product DIR)]\n"
    "                 FOLDER ARCHIVE.zip\n"
    "       mkpackage keygen PRIVATE.key PUBLIC.pub\n"
    "       mkpackage sign (--version V (--soft-id ID | --product DIR) | --format1) KEY ARCHIVE.zip\n"
    "       mkpackage verify [--soft-id ID | --product DIR] PUBLIC.pub ARCHIVE.zip\n";
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

// The options of any command, and what follows them.
struct Arguments {
    PackageEncryption encryption = PackageEncryption::Aes256;
    std::string password = kPackagePassword;
    std::wstring key;
    std::wstring version;
    std::optional<std::string> softId;
    std::wstring product;
    bool format1 = false;
    std::vector<std::wstring> rest;
};

bool parseArguments(int argc, wchar_t** argv, int first, Arguments& args)
{
    int arg = first;
    for (; arg < argc && argv[arg][0] == L'-'; ++arg) {
        const std::wstring option = argv[arg];
        const bool hasValue = arg + 1 < argc;
        if (option == L"--pkware")
            args.encryption = PackageEncryption::Pkware;
        else if (option == L"--format1")
            args.format1 = true;
        else if (option == L"--password" && hasValue)
            args.password = win::toAnsi(argv[++arg]);
        else if (option == L"--sign" && hasValue)
            args.key = argv[++arg];
        else if (option == L"--version" && hasValue)
            args.version = argv[++arg];
        else if (option == L"--soft-id" && hasValue)
            args.softId = win::toUtf8(argv[++arg]);
        else if (option == L"--product" && hasValue)
            args.product = argv[++arg];
        else
            return false;
    }
    args.rest.assign(argv + arg, argv + argc);
    return args.rest.size() == 2;
}

// The SoftId the options name, if any; false for a product folder without one.
bool productOf(const Arguments& args, std::optional<std::string>& softId, std::string& error)
{
    softId = args.softId;
    std::string read;
    if (args.product.empty())
        return true;
    if (!readProductSoftId(args.product, read, error))
        return false;
    softId = read;
    return true;
}

// Format 2's binding from the options, or none with --format1.
bool bindingOf(const Arguments& args, std::optional<signing::Binding>& binding, std::string& error)
{
    std::optional<std::string> softId;
    if (args.format1) {
        if (args.version.empty() && !args.softId && args.product.empty())
            return true;
        error = "a format 1 signature names neither product nor version";
        return false;
    }
    if (!productOf(args, softId, error))
        return false;
    signing::Binding bound;
    if (!softId || !signing::parseVersion(win::toUtf8(args.version), bound.version)) {
        error = "a signature names the product (--soft-id or --product) and the version (--version, up to four "
                "numbers of at most five digits)";
        return false;
    }
    bound.app = signing::appIdOf(*softId);
    binding = bound;
    return true;
}

int verify(const Arguments& args)
{
    std::string error;
    signing::PublicKey key;
    signing::Verification result;
    std::optional<std::string> softId;
    signing::AppId product{};
    if (!productOf(args, softId, error))
        return failed(error);
    if (softId)
        product = signing::appIdOf(*softId);
    if (!readPublicKeyFile(args.rest[0], key, error) ||
        !verifyPackageFile(args.rest[1], key, softId ? &product : nullptr, result, error))
        return failed(error);
    const std::string signer = signing::keyIdText(result.signer);
    switch (result.verdict) {
    case signing::Verdict::Valid:
        if (result.format == 1)
            std::printf("signed by key %s in format 1 (no product, no version)\n", signer.c_str());
        else
            std::printf("signed by key %s for version %s%s\n", signer.c_str(),
                        signing::versionText(result.binding.version).c_str(),
                        softId ? (" of " + *softId).c_str() : " (product not checked)");
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
    case signing::Verdict::OtherProduct:
        std::printf("signed by key %s for another product than %s\n", signer.c_str(), softId->c_str());
        break;
    }
    return kFailed;
}

int sign(const Arguments& args)
{
    std::string error;
    std::optional<signing::Binding> binding;
    if (!bindingOf(args, binding, error) ||
        !signPackage(args.rest[1], args.rest[0], binding ? &*binding : nullptr, error))
        return failed(error);
    return 0;
}

int pack(const Arguments& args)
{
    std::string error;
    std::optional<signing::Binding> binding;
    if (!args.key.empty() && (args.format1 || !bindingOf(args, binding, error)))
        return args.format1 ? usage() : failed(error);
    if (!buildPackage(args.rest[0], args.rest[1], args.encryption, args.password, error) ||
        (!args.key.empty() && !signPackage(args.rest[1], args.key, &*binding, error)))
        return failed(error);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const bool named = command == L"keygen" || command == L"sign" || command == L"verify";
    Arguments args;
    if (!parseArguments(argc, argv, named ? 2 : 1, args))
        return usage();
    if (command == L"keygen") {
        std::string error;
        return makeKeyPair(args.rest[0], args.rest[1], error) ? 0 : failed(error);
    }
    if (command == L"verify")
        return verify(args);
    if (command == L"sign")
        return sign(args);
    return pack(args);
}
