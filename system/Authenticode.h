// The system's own check of a program's digital signature (Authenticode,
// through WinVerifyTrust), for programs the installer downloads and starts.
#pragma once

#include <windows.h>

#include <string>

// True when the system trusts the signature of FILE: it is signed, no byte
// changed since, and (on Windows) the signer's chain leads to a trusted
// root. STATUS receives WinVerifyTrust's answer (0 when trusted,
// TRUST_E_NOSIGNATURE, TRUST_E_BAD_DIGEST, ...), or the system error when the
// file or the check could not be opened. Nothing is shown to the user.
bool isSignatureTrusted(const std::wstring& file, LONG& status);
