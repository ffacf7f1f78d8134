// The built installers import only DLLs that Windows always takes from
// System32, never from the folder the installer was started from.
#include "system/util.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// The KnownDLLs that Windows 7 and Windows 8 to 11 all list (Wine 8 lists
// none), and comctl32, which the manifest binds to the side-by-side copy.
const std::set<std::string> kAllowedImports = {
    "advapi32.dll", "clbcatq.dll",  "comdlg32.dll", "gdi32.dll",   "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll",    "msvcrt.dll",   "normaliz.dll", "nsi.dll",     "ole32.dll",
    "oleaut32.dll", "psapi.dll",    "rpcrt4.dll",   "sechost.dll", "setupapi.dll", "shell32.dll",
    "shlwapi.dll",  "user32.dll",   "wldap32.dll",  "ws2_32.dll",  "comctl32.dll"};

// The PE image's import and delay-import tables, read from its file.
struct Imports {
    bool readable = false;
    std::vector<std::string> dlls;
    bool delayLoads = false;
};

template <typename T>
bool readAt(const std::string& image, size_t offset, T& out)
{
    if (offset > image.size() || image.size() - offset < sizeof(T))
        return false;
    std::memcpy(&out, image.data() + offset, sizeof(T));
    return true;
}

Imports readImports(const std::string& image)
{
    Imports result;
    IMAGE_DOS_HEADER dos{};
    DWORD signature = 0;
    IMAGE_FILE_HEADER file{};
    WORD magic = 0;
    if (!readAt(image, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        !readAt(image, static_cast<size_t>(dos.e_lfanew), signature) || signature != IMAGE_NT_SIGNATURE ||
        !readAt(image, dos.e_lfanew + sizeof(DWORD), file))
        return result;
    const size_t optional = dos.e_lfanew + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
    if (!readAt(image, optional, magic))
        return result;
    // The data directories sit at the end of either optional header.
    const size_t directories = optional + (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                                               ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                               : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
    IMAGE_DATA_DIRECTORY importDir{}, delayDir{};
    if (!readAt(image, directories + IMAGE_DIRECTORY_ENTRY_IMPORT * sizeof(IMAGE_DATA_DIRECTORY), importDir) ||
        !readAt(image, directories + IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT * sizeof(IMAGE_DATA_DIRECTORY), delayDir))
        return result;
    const size_t sections = optional + file.SizeOfOptionalHeader;
    auto fileOffset = [&](DWORD rva, size_t& offset) {
        for (WORD i = 0; i < file.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section{};
            if (!readAt(image, sections + i * sizeof(section), section))
                return false;
            const DWORD size = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < size) {
                offset = section.PointerToRawData + (rva - section.VirtualAddress);
                return true;
            }
        }
        return false;
    };
    size_t at = 0;
    if (!fileOffset(importDir.VirtualAddress, at))
        return result;
    for (IMAGE_IMPORT_DESCRIPTOR entry{}; readAt(image, at, entry) && entry.Name != 0; at += sizeof(entry)) {
        size_t name = 0;
        if (!fileOffset(entry.Name, name) || name >= image.size())
            return result;
        std::string dll(image.c_str() + name);
        std::transform(dll.begin(), dll.end(), dll.begin(), [](unsigned char c) { return std::tolower(c); });
        result.dlls.push_back(dll);
    }
    result.readable = !result.dlls.empty();
    result.delayLoads = delayDir.Size != 0;
    return result;
}

} // namespace

TEST(ImportTable, InstallersImportOnlyDllsThatAlwaysComeFromTheSystem)
{
    for (const wchar_t* program : {L"setup.exe", L"setup_offline.exe"}) {
        const Imports imports = readImports(readFile(getExeDir() + program));
        ASSERT_TRUE(imports.readable) << program;
        EXPECT_FALSE(imports.delayLoads) << program;
        for (const std::string& dll : imports.dlls)
            EXPECT_TRUE(kAllowedImports.count(dll)) << dll << " in " << program;
    }
}
