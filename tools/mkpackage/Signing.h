// Vendor keys and package signatures, as the vendor's build machine makes
// them (system/PackageSignature.h has the format and the check).
#pragma once

#include "system/PackageSignature.h"

#include <string>

// A new P-256 key pair: the private key for the build machine, the public
// key for the product folder ("package.pub"). The private key's file is
// readable by the current user alone. Refused, with nothing written, when
// either file exists.
bool makeKeyPair(const std::wstring& privateKeyFile, const std::wstring& publicKeyFile, std::string& error);

// Signs the zip archive ARCHIVE in place with the key in PRIVATEKEYFILE, in
// format 2 for BINDING's product and version, or without it in format 1 (for
// installers built before format 2, which read no other). Any tool may have
// made the archive: a comment it has is replaced by the signature. Refused
// for a file that is no readable zip archive or that has bytes after its end
// record.
bool signPackage(const std::wstring& archive, const std::wstring& privateKeyFile, const signing::Binding* binding,
                 std::string& error);

// The "SoftId" of the product folder's config.json.
bool readProductSoftId(const std::wstring& productFolder, std::string& softId, std::string& error);

bool readPublicKeyFile(const std::wstring& file, signing::PublicKey& key, std::string& error);
// Reads ARCHIVE once and checks it against KEY (and PRODUCT, when given) as
// the installer does.
bool verifyPackageFile(const std::wstring& archive, const signing::PublicKey& key, const signing::AppId* product,
                       signing::Verification& result, std::string& error);
