// Writes zip archives with libzip, for tests and benchmarks that need
// packages of a particular make.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

enum class ZipCipher { none, pkware, aes128, aes192, aes256 };

struct ZipMakerEntry {
    std::string name; // UTF-8, "/" separated; a trailing "/" makes a folder
    std::string data;
    ZipCipher cipher = ZipCipher::none;
    bool stored = false;           // deflated unless set
    uint32_t dosAttributes = 0;    // FILE_ATTRIBUTE_* kept for the entry
};

// Throws std::runtime_error when libzip refuses.
void makeZip(const std::filesystem::path& file, const std::vector<ZipMakerEntry>& entries,
             const std::string& password = "402718");

// The bytes of an archive of COUNT empty deflated entries that each declare
// SIZE bytes: a package that claims far more than it holds.
std::string zipDeclaring(int count, uint32_t size);
