// One timed measure for bench/run, which repeats it, compares the output with
// the source and computes the figures. Prints the seconds taken.
// Usage: unzip_bench extract ARCHIVE OUT_DIR
//            unZipFile of the whole archive, as the installer calls it
//        unzip_bench floor ARCHIVE
//            the inflate floor: the archive's raw deflate streams, read (and
//            decrypted) into memory before the clock starts, inflated with
//            plain zlib into a buffer, nothing written: no extraction that
//            inflates on one thread is faster
//        unzip_bench cpu ARCHIVE OUT_DIR
//            extract, printing beside the seconds the processor time of the
//            extracting thread and of the whole process (user + kernel):
//            figures that a busy machine disturbs far less than the wall
//            time
#include "system/MyZip.h"

#include <zip.h>
#include <zlib.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr char kPassword[] = "402718";
constexpr wchar_t kPasswordW[] = L"402718";
constexpr size_t kBlock = 128 * 1024;

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double seconds(const FILETIME& time)
{
    return double((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
}

// User and kernel seconds of the calling thread and of the process.
struct CpuTimes {
    double threadUser = 0, threadKernel = 0, processUser = 0, processKernel = 0;

    static CpuTimes now()
    {
        FILETIME created, exited, kernel, user;
        CpuTimes t;
        ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
        t.threadUser = seconds(user);
        t.threadKernel = seconds(kernel);
        ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
        t.processUser = seconds(user);
        t.processKernel = seconds(kernel);
        return t;
    }
};

struct RawEntry {
    bool deflated;
    std::vector<unsigned char> data;
};

// With the sum of the entries' sizes in SIZE.
std::vector<RawEntry> rawEntries(const std::wstring& archivePath, int64_t& size)
{
    size = 0;
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
        size += static_cast<int64_t>(stat.size);
        RawEntry entry{stat.comp_method == ZIP_CM_DEFLATE, {}};
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

// The bytes inflated, or -1 when a stream is damaged.
int64_t inflateFloor(const std::vector<RawEntry>& entries)
{
    std::vector<unsigned char> buffer(kBlock);
    int64_t total = 0;
    for (const RawEntry& entry : entries) {
        if (!entry.deflated) {
            total += static_cast<int64_t>(entry.data.size());
            continue;
        }
        z_stream z{};
        inflateInit2(&z, -MAX_WBITS);
        z.next_in = const_cast<unsigned char*>(entry.data.data());
        z.avail_in = static_cast<uInt>(entry.data.size());
        int status = Z_OK;
        while (status == Z_OK) {
            z.next_out = buffer.data();
            z.avail_out = static_cast<uInt>(buffer.size());
            status = inflate(&z, Z_NO_FLUSH);
            total += static_cast<int64_t>(buffer.size() - z.avail_out);
        }
        inflateEnd(&z);
        if (status != Z_STREAM_END)
            return -1;
    }
    return total;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (!((mode == L"extract" || mode == L"cpu") && argc == 4) && !(mode == L"floor" && argc == 3)) {
        std::fwprintf(stderr, L"usage: unzip_bench extract|cpu ARCHIVE OUT_DIR | floor ARCHIVE\n");
        return 2;
    }
    const std::wstring archive = argv[2];
    bool ok = false;
    double secs = 0;
    if (mode == L"floor") {
        int64_t size = 0;
        const std::vector<RawEntry> entries = rawEntries(archive, size);
        const auto start = Clock::now();
        ok = !entries.empty() && inflateFloor(entries) == size;
        secs = seconds(start);
    } else {
        int lastPercent = -1;
        const CpuTimes before = CpuTimes::now();
        const auto start = Clock::now();
        try {
            ok = unZipFile(archive, argv[3], kPasswordW, [&](int percent) { lastPercent = percent; }).empty();
        } catch (const TZipError&) {
        }
        secs = seconds(start);
        ok = ok && lastPercent == 100;
        if (ok && mode == L"cpu") {
            const CpuTimes after = CpuTimes::now();
            std::printf("%.4f s; extracting thread %.3f s user + %.3f s kernel; process %.3f s user + %.3f s kernel\n",
                        secs, after.threadUser - before.threadUser, after.threadKernel - before.threadKernel,
                        after.processUser - before.processUser, after.processKernel - before.processKernel);
            return 0;
        }
    }
    if (!ok) {
        std::fwprintf(stderr, L"unzip_bench: %ls of %ls failed\n", mode.c_str(), archive.c_str());
        return 1;
    }
    std::printf("%.4f\n", secs);
    return 0;
}
