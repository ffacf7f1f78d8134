// mkpackage: builds a product's package archive from a folder.
//   mkpackage [--pkware] [--password TEXT] FOLDER ARCHIVE.zip
// WinZip AES-256 by default; --pkware uses the traditional PKWARE scheme.
#include "Package.h"

#include "system/Encoding.h"

#include <cstdio>
#include <string>

namespace {

constexpr char kUsage[] = "usage: mkpackage [--pkware] [--password TEXT] FOLDER ARCHIVE.zip\n";

} // namespace

int wmain(int argc, wchar_t** argv)
{
    PackageEncryption encryption = PackageEncryption::Aes256;
    std::string password = kPackagePassword;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == L'-'; ++arg) {
        const std::wstring option = argv[arg];
        if (option == L"--pkware") {
            encryption = PackageEncryption::Pkware;
        } else if (option == L"--password" && arg + 1 < argc) {
            password = win::toAnsi(argv[++arg]);
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (argc - arg != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string error;
    if (!buildPackage(argv[arg], argv[arg + 1], encryption, password, error)) {
        std::fprintf(stderr, "mkpackage: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
