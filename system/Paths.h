// Paths taken apart and folders made, on the system's own calls: the C++
// library's std::filesystem brings its streams and locales into the
// installer, more code than the rest of the program.
#pragma once

#include <cstdint>
#include <string>

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
// Whether PATH is a folder (or a link to one).
bool isFolder(const std::wstring& path);
// The size of the file at PATH; false when it cannot be read.
bool fileSize(const std::wstring& path, uint64_t& size);
