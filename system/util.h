// Paths, identifiers, embedded texts and string operations shared by every
// part of the program. None keeps state.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

// Folders. getTempDir, getExeDir and getSystemDir end with a backslash; the
// application-data folders do not, and throw std::runtime_error when the
// system has none.
std::wstring getTempDir();
// System32 (the 32-bit system folder for a 32-bit program on 64-bit Windows).
std::wstring getSystemDir();
std::wstring getExeDir();
std::wstring getExeFileName();
std::wstring getAppDataDir();
std::wstring getLocalAppDataDir();

// A new random GUID as 32 uppercase hexadecimal digits.
std::wstring newCompactGuid();
// Megabytes available to the caller on DRIVE ("C:"), truncated; false (and
// MB unchanged) when the system cannot tell.
bool getDiskFreeMB(const std::wstring& drive, int& mb);
// Uniform in [0, n), from a generator seeded from the clock once per process.
int randomBelow(int n);
bool copyFileOverwrite(const std::wstring& source, const std::wstring& target);

// An embedded text resource as lines, each followed by CR LF. With UTF8 set it
// is decoded as UTF-8; otherwise by its byte-order mark, or without one in the
// ANSI code page. A UTF-8 byte-order mark is skipped. False when the resource
// does not exist.
bool loadResourceText(std::wstring_view name, std::wstring_view type, bool utf8, std::wstring& text);

// Every occurrence of OLD replaced by NEW, left to right, replaced text not
// scanned again; CASESENSITIVE false matches ignoring letter case.
std::wstring replaceText(std::wstring_view text, std::wstring_view old, std::wstring_view replacement,
                         bool caseSensitive);
// Splits TEXT at every SEPARATOR after removing every "*"; the remainder is
// always appended, even when empty. An empty TEXT leaves LIST as it was.
void splitToList(std::vector<std::wstring>& list, std::wstring_view text, wchar_t separator);
void splitAtFirst(std::wstring_view text, wchar_t separator, std::wstring& before, std::wstring& after);
std::wstring dropLast(std::wstring_view text, size_t n);
std::wstring lastChar(std::wstring_view text);
bool containsText(std::wstring_view needle, std::wstring_view text);
