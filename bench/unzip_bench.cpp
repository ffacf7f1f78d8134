// Extraction speed of unZipFile on given archives, beside the floor of plain
// zlib inflate of the same content written the same way.
// Usage: unzip_bench SOURCE_DIR OUT_DIR ARCHIVE...
#include "system/MyZip.h"

#include <windows.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kPassword[] = L"402718";
constexpr size_t kBlock = 32768;

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

uint64_t treeBytes(const fs::path& root)
{
    uint64_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            total += entry.file_size();
    return total;
}

std::string fileBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every file of SOURCE is in OUT with the same bytes.
bool sameTree(const fs::path& source, const fs::path& out)
{
    for (const auto& entry : fs::recursive_directory_iterator(source)) {
        const fs::path copy = out / entry.path().lexically_relative(source);
        if (entry.is_regular_file() && fileBytes(entry.path()) != fileBytes(copy))
            return false;
    }
    return true;
}

void report(const std::wstring& what, uint64_t bytes, double secs)
{
    std::wprintf(L"%-28ls %8.1f MB in %6.2f s = %7.1f MB/s\n", what.c_str(), bytes / 1e6, secs, bytes / 1e6 / secs);
}

struct Deflated {
    fs::path relative;
    std::vector<unsigned char> data;
    uLong size;
};

// Inflates in-memory raw deflate streams into files in 32 KiB blocks: the
// part of an extraction that no decryption or archive reading is in.
double inflateFloor(const std::vector<Deflated>& items, const fs::path& out)
{
    std::vector<unsigned char> buffer(kBlock);
    const auto start = std::chrono::steady_clock::now();
    for (const Deflated& item : items) {
        const fs::path target = out / item.relative;
        fs::create_directories(target.parent_path());
        HANDLE file = ::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        z_stream z{};
        inflateInit2(&z, -MAX_WBITS);
        z.next_in = const_cast<unsigned char*>(item.data.data());
        z.avail_in = static_cast<uInt>(item.data.size());
        int status = Z_OK;
        while (status == Z_OK) {
            z.next_out = buffer.data();
            z.avail_out = kBlock;
            status = inflate(&z, Z_NO_FLUSH);
            DWORD written = 0;
            ::WriteFile(file, buffer.data(), kBlock - z.avail_out, &written, nullptr);
        }
        inflateEnd(&z);
        ::CloseHandle(file);
    }
    return seconds(start);
}

std::vector<Deflated> deflateTree(const fs::path& root)
{
    std::vector<Deflated> items;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        const std::string bytes = fileBytes(entry.path());
        Deflated item{entry.path().lexically_relative(root), {}, static_cast<uLong>(bytes.size())};
        item.data.resize(compressBound(item.size) + 64);
        z_stream z{};
        deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        z.avail_in = item.size;
        z.next_out = item.data.data();
        z.avail_out = static_cast<uInt>(item.data.size());
        deflate(&z, Z_FINISH);
        item.data.resize(z.total_out);
        deflateEnd(&z);
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fwprintf(stderr, L"usage: unzip_bench SOURCE_DIR OUT_DIR ARCHIVE...\n");
        return 2;
    }
    const fs::path source = argv[1];
    const fs::path out = argv[2];
    const uint64_t bytes = treeBytes(source);

    fs::remove_all(out);
    const double floor = inflateFloor(deflateTree(source), out);
    report(L"zlib inflate floor", bytes, floor);

    for (int i = 3; i < argc; ++i) {
        fs::remove_all(out);
        const auto start = std::chrono::steady_clock::now();
        int lastPercent = -1;
        unZipFile(argv[i], out.wstring(), kPassword, [&](int percent) { lastPercent = percent; });
        const double secs = seconds(start);
        if (lastPercent != 100 || treeBytes(out) != bytes || !sameTree(source, out))
            std::fwprintf(stderr, L"%ls: incomplete or wrong extraction\n", argv[i]);
        report(L"unZipFile " + fs::path(argv[i]).filename().wstring(), bytes, secs);
    }
    fs::remove_all(out);
    return 0;
}
