// Builds the password-protected package archive of a product from a folder,
// the way vendors ship it: every file and folder below the folder, stored
// DOS attributes kept, each file deflated and encrypted.
#pragma once

#include <string>

enum class PackageEncryption { Aes256, Pkware };

// The password the installer extracts packages with.
inline constexpr char kPackagePassword[] = "402718";

// False, with a reason in ERROR, when the folder cannot be read or the
// archive cannot be written. An existing archive is replaced.
bool buildPackage(const std::wstring& folder, const std::wstring& archive, PackageEncryption encryption,
                  const std::string& password, std::string& error);
