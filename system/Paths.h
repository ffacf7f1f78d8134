// Paths taken apart and folders made, on the system's own calls: the C++
// library's std::filesystem brings its streams and locales into the
// installer, more code than the rest of the program.
#pragma once

#include <cstdint>
#include <string>

// "\" or "/": the system takes either between the parts of a path.
bool isSeparator(wchar_t c);
// Whether PATH is a folder (or a link to one).
bool isFolder(const std::wstring& path);
// PATH without its trailing separators, except the one of a drive root ("C:\"
// stays: "C:" alone names the current folder of drive C:) and a lone "\".
std::wstring withoutTrailingSeparators(const std::wstring& path);
// The root of the volume that holds PATH, as the free-space query takes it:
// the drive ("C:\") or, for a network path, the server and its share
// ("\\server\share\"); "" when PATH names neither ("\\server" alone is no
// volume).
std::wstring volumeRoot(const std::wstring& path);

// The folder that holds PATH: everything before its last separator ("\" or
// "/"), which a drive's root keeps ("C:\a" gives "C:\"); "" without a
// separator.
std::wstring parentFolder(const std::wstring& path);
// NAME inside FOLDER, with one separator between them ("" leaves NAME as it
// is).
std::wstring joinPath(const std::wstring& folder, const std::wstring& name);
// Makes FOLDER and every missing folder above it; true when it is a folder
// afterwards. False, with the system's error as the last error, otherwise
// (a file in the way, no access, no such drive).
bool createFolders(const std::wstring& folder);
// Whether PATH names anything: file, folder or the link itself.
bool pathExists(const std::wstring& path);
// The size of the file at PATH; false when it cannot be read.
bool fileSize(const std::wstring& path, uint64_t& size);
