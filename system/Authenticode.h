// The system's own check of a program's digital signature (Authenticode,
// through WinVerifyTrust), for programs the installer downloads and starts
// elevated, and the pin on who may have signed them.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

// SHA-256 of a signer's certificate (its DER bytes).
using CertificateDigest = std::array<unsigned char, 32>;

// Reads an allow list of signers: one certificate's SHA-256 in hex a line
// (either letter case), blank lines and lines starting with '#' skipped.
// False, with DIGESTS untouched, when any other line is there.
bool parseCertificateDigests(std::string_view text, std::vector<CertificateDigest>& digests);

// True when the system trusts the signature of FILE and its signer is
// pinned. Trusted: signed, no byte changed since, and (on Windows) the chain
// leads to a trusted root with no certificate of it revoked; a machine that
// cannot reach the revocation lists (offline) passes when nothing else is
// wrong with the chain. Pinned: the signing certificate's SHA-256 is one of
// ALLOWED or, when ALLOWED is empty, it is issued to Microsoft Corporation
// and its chain ends in a Microsoft root. STATUS receives WinVerifyTrust's
// answer (0 when trusted, TRUST_E_NOSIGNATURE, TRUST_E_BAD_DIGEST, ...),
// TRUST_E_SUBJECT_NOT_TRUSTED for a signer that is not pinned, or the
// system error when the file or the check could not be opened. Nothing is
// shown to the user.
bool isSignerPinned(const std::wstring& file, const std::vector<CertificateDigest>& allowed, LONG& status);
