// Extraction of the program package (a password-protected zip archive) and
// access to a package embedded in the installer itself.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

// Overall progress of one extraction, 0 to 100, never decreasing; called on
// the extracting thread after each written block of at most 32 KiB.
using TOnTotalPercent = std::function<void(int percent)>;

// The archive could not be opened or is not a complete zip archive. Nothing
// was written.
class TZipError : public std::runtime_error {
public:
    explicit TZipError(const std::wstring& message);
    const std::wstring& message() const { return message_; }

private:
    std::wstring message_;
};

// Extracts every entry of ARCHIVE below DESTDIR with its stored folders and
// attributes (read-only, hidden, system, archive), replacing existing files.
// PASSWORD decrypts PKWARE and WinZip-AES entries; it is used in the ANSI
// code page. An entry that cannot be extracted (wrong password, damaged data,
// unknown method, a target that cannot be written, a name that would leave
// DESTDIR) is skipped, and no partial file of it is left behind. Throws
// TZipError, before writing anything, when the archive itself is unusable.
// CHECKEDLENGTH, when not 0, is the length of the archive whose signature
// was checked: only those bytes are read, and an archive of another length
// is unusable.
void unZipFile(const std::wstring& archive, const std::wstring& destDir, const std::wstring& password,
               const TOnTotalPercent& onTotalPercent, uint64_t checkedLength = 0);

// Resources of the running program (names and types ignore letter case).
bool resourceExists(const std::wstring& name, const std::wstring& type);
// Replaces TARGET with the bytes of the resource; true when TARGET exists
// afterwards holding all of them.
bool saveResourceToFile(const std::wstring& name, const std::wstring& type, const std::wstring& target);
