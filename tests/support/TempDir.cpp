#include "TempDir.h"

#include "system/util.h"

#include <windows.h>

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

TempDir::TempDir() : path_(fs::path(getTempDir()) / (L"t" + newCompactGuid()))
{
    fs::create_directories(path_);
}

TempDir::~TempDir()
{
    std::error_code ignored;
    // Read-only files would stop remove_all.
    for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored))
        ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(path_, ignored);
}

void writeFile(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
