// Extraction of the program package (a password-protected zip archive) and
// access to a package embedded in the installer itself.
#pragma once

#include "system/Handles.h"
#include "system/PackageSignature.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

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

// An archive the caller holds open, denying writers, and how many of its
// bytes to read: those whose signature was checked, through the handle they
// were written and checked through.
struct THeldArchive {
    HANDLE file = nullptr;
    uint64_t length = 0;
};

// Why an entry of the archive was not extracted.
enum class TSkipReason {
    // Its name would leave the destination, or is not a file name Windows allows.
    UnsafeName,
    // Compressed with a method other than store and deflate.
    UnknownMethod,
    // Encrypted, and the password does not open it.
    WrongPassword,
    // Its data cannot be read, decompressed or authenticated, or its size or
    // checksum does not match.
    Damaged,
    // A file of that name was there already and could not be replaced (in
    // use, or refused even with its read-only, hidden and system attributes
    // cleared): it keeps its old content.
    NotReplaced,
    // Its file or folder cannot be created or written (the system's error).
    Unwritable,
    // A folder on its way is a junction or symbolic link (which is not
    // followed), or cannot be made.
    LinkedFolder,
};

struct TSkippedEntry {
    // As stored in the archive.
    std::wstring name;
    TSkipReason reason;
    // For Unwritable: the system's error.
    DWORD error = 0;
};

// Extracts every entry of ARCHIVE below DESTDIR with its stored folders and
// attributes (read-only, hidden, system, archive), replacing existing files,
// whatever their attributes, only once their new content checked out. Nothing is written through a
// junction or symbolic link that stands inside DESTDIR.
// PASSWORD decrypts PKWARE and WinZip-AES entries; it is used in the ANSI
// code page. An entry that cannot be extracted is skipped, no partial file of
// it is left behind, and it is returned with the reason (an entry whose
// directory record cannot be read as "#<index>"). The files are made and
// written on a thread of its own while this one reads and decompresses; the
// call returns once every file is finished. Throws TZipError, before
// writing anything, when the archive itself is unusable. HELD, when given,
// is the archive ARCHIVE names, read through its handle: exactly its length
// is read, and a file of another length is unusable.
std::vector<TSkippedEntry> unZipFile(const std::wstring& archive, const std::wstring& destDir,
                                     const std::wstring& password, const TOnTotalPercent& onTotalPercent,
                                     const THeldArchive* held = nullptr);

// The bytes that the entries of ARCHIVE not in SKIPPED (by stored name) hold
// once extracted: the size of what unZipFile installed, its sizes checked on
// the way. 0 when the archive cannot be read; HELD as for unZipFile.
uint64_t extractedSize(const std::wstring& archive, const std::vector<TSkippedEntry>& skipped,
                       const THeldArchive* held = nullptr);

// The SHA-256 of the content of ARCHIVE's file entry that extracts to
// RELATIVE (a path below the destination, "\" or "/" separated, letter case
// ignored), read whole and checked as unZipFile checks it; false when there is
// no such entry or it cannot be read. PASSWORD and HELD as for unZipFile.
bool entryDigest(const std::wstring& archive, const std::wstring& password, const std::wstring& relative,
                 signing::Digest& digest, const THeldArchive* held = nullptr);

// PATH opened for reading, without following a link, denying writes, renames
// and deletion for as long as it is held, when its content has DIGEST; empty
// otherwise. What is started from PATH while it is held is what was checked.
win::FileHandle holdIfDigest(const std::wstring& path, const signing::Digest& digest);

// The bytes the entries of ARCHIVE declare, added; false when the archive
// cannot be read (unZipFile then reports an unusable archive). HELD as for
// unZipFile.
bool declaredSize(const std::wstring& archive, uint64_t& bytes, const THeldArchive* held = nullptr);

// Resources of the running program (names and types ignore letter case).
bool resourceExists(const std::wstring& name, const std::wstring& type);
// Replaces TARGET with the bytes of the resource; true when TARGET exists
// afterwards holding all of them.
bool saveResourceToFile(const std::wstring& name, const std::wstring& type, const std::wstring& target);
// Writes BYTES at FILE's position; false when not all of them could be.
bool writeAllTo(HANDLE file, const void* bytes, size_t size);
