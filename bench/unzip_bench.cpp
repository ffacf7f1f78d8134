// One timed extraction for bench/run, which repeats it, compares the output
// with the source and computes the figures. Prints the seconds taken.
// Usage: unzip_bench extract ARCHIVE OUT_DIR
//            unZipFile of the whole archive, as the installer calls it
//        unzip_bench floor ARCHIVE OUT_DIR
//            the floor under it: the archive's raw deflate streams, read
//            (and decrypted) into memory before the clock starts, inflated
//            with plain zlib and written the way unZipFile writes them
#include "system/MyZip.h"

#include <windows.h>
#include <zip.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr char kPassword[] = "402718";
constexpr wchar_t kPasswordW[] = L"402718";
constexpr size_t kBlock = 1024 * 1024;

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

struct RawEntry {
    fs::path relative;
    bool deflated;
    std::vector<unsigned char> data;
};

std::vector<RawEntry> rawEntries(const std::wstring& archivePath)
{
    std::vector<RawEntry> entries;
    int error = 0;
    zip_t* archive = zip_open(fs::path(archivePath).string().c_str(), ZIP_RDONLY, &error);
    if (!archive)
        return entries;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
        const std::string name = stat.name;
        if (name.empty() || name.back() == '/')
            continue;
        RawEntry entry{fs::path(name), stat.comp_method == ZIP_CM_DEFLATE, {}};
        zip_file_t* file = zip_fopen_index_encrypted(archive, stat.index, ZIP_FL_COMPRESSED, kPassword);
        std::vector<unsigned char> block(kBlock);
        for (zip_int64_t got; file && (got = zip_fread(file, block.data(), block.size())) > 0;)
            entry.data.insert(entry.data.end(), block.data(), block.data() + got);
        if (file)
            zip_fclose(file);
        entries.push_back(std::move(entry));
    }
    zip_discard(archive);
    return entries;
}

bool writeAll(HANDLE file, const unsigned char* data, size_t size)
{
    DWORD written = 0;
    return size == 0 || (::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size);
}

// False when an entry could not be inflated or written.
bool inflateFloor(const std::vector<RawEntry>& entries, const fs::path& out)
{
    std::vector<unsigned char> buffer(kBlock);
    bool ok = true;
    for (const RawEntry& entry : entries) {
        const fs::path target = out / entry.relative;
        fs::create_directories(target.parent_path());
        HANDLE file = ::CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        if (!entry.deflated) {
            ok = writeAll(file, entry.data.data(), entry.data.size());
        } else {
            z_stream z{};
            inflateInit2(&z, -MAX_WBITS);
            z.next_in = const_cast<unsigned char*>(entry.data.data());
            z.avail_in = static_cast<uInt>(entry.data.size());
            int status = Z_OK;
            while (ok && status == Z_OK) {
                z.next_out = buffer.data();
                z.avail_out = static_cast<uInt>(buffer.size());
                status = inflate(&z, Z_NO_FLUSH);
                ok = (status == Z_OK || status == Z_STREAM_END) &&
                     writeAll(file, buffer.data(), buffer.size() - z.avail_out);
            }
            inflateEnd(&z);
        }
        ::CloseHandle(file);
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc == 4 ? argv[1] : L"";
    if (mode != L"extract" && mode != L"floor") {
        std::fwprintf(stderr, L"usage: unzip_bench extract|floor ARCHIVE OUT_DIR\n");
        return 2;
    }
    const std::wstring archive = argv[2];
    const fs::path out = argv[3];
    bool ok = false;
    double secs = 0;
    if (mode == L"floor") {
        const std::vector<RawEntry> entries = rawEntries(archive);
        const auto start = Clock::now();
        ok = !entries.empty() && inflateFloor(entries, out);
        secs = seconds(start);
    } else {
        int lastPercent = -1;
        const auto start = Clock::now();
        try {
            ok = unZipFile(archive, out.wstring(), kPasswordW, [&](int percent) { lastPercent = percent; }).empty();
        } catch (const TZipError&) {
        }
        secs = seconds(start);
        ok = ok && lastPercent == 100;
    }
    if (!ok) {
        std::fwprintf(stderr, L"unzip_bench: %ls of %ls failed\n", mode.c_str(), archive.c_str());
        return 1;
    }
    std::printf("%.4f\n", secs);
    return 0;
}
