#include "system/MyZip.h"

#include "system/Encoding.h"
#include "system/Handles.h"
#include "system/MyZipOutput.h"
#include "system/NoFollow.h"
#include "system/Paths.h"
#include "system/WriteBehind.h"
#include "system/ZipEntryName.h"

#include <mbedtls/sha256.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <system_error>
#include <vector>

namespace {

using myzip::EntryResult;
using myzip::Skip;

constexpr wchar_t kCannotOpen[] = L"Cannot open the archive \"%1\": %2";
constexpr wchar_t kChangedSinceCheck[] = L"it is not the file that was checked";
// Progress is told per block of the decompressor's window; the files are
// written in larger pieces, because each write costs a system call.
constexpr size_t kProgressBlock = 32768;
constexpr size_t kReadBlock = 256 * 1024;
constexpr DWORD kStoredAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
constexpr zip_uint32_t kUnixOwnerWrite = 0200;

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using EntryFile = std::unique_ptr<zip_file_t, EntryCloser>;

struct InflateStream {
    z_stream z{};
    bool ready = false;
    InflateStream() { ready = inflateInit2(&z, -MAX_WBITS) == Z_OK; }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
    ~InflateStream()
    {
        if (ready)
            inflateEnd(&z);
    }
};

// SHA-256 fed piece by piece.
class Sha256 {
public:
    Sha256()
    {
        mbedtls_sha256_init(&context_);
        mbedtls_sha256_starts_ret(&context_, 0);
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    ~Sha256() { mbedtls_sha256_free(&context_); }

    void update(const void* data, size_t size)
    {
        mbedtls_sha256_update_ret(&context_, static_cast<const unsigned char*>(data), size);
    }
    signing::Digest finish()
    {
        signing::Digest digest{};
        mbedtls_sha256_finish_ret(&context_, digest.data());
        return digest;
    }

private:
    mbedtls_sha256_context context_;
};

// The same relative path, whatever its separators and letter case.
bool samePath(std::wstring a, std::wstring b)
{
    std::replace(a.begin(), a.end(), L'/', L'\\');
    std::replace(b.begin(), b.end(), L'/', L'\\');
    while (!b.empty() && b.front() == L'\\')
        b.erase(0, 1);
    return ::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

std::wstring openError(const std::wstring& archive, const std::wstring& reason)
{
    std::wstring text = kCannotOpen;
    text.replace(text.find(L"%1"), 2, archive);
    text.replace(text.find(L"%2"), 2, reason);
    return text;
}

// Without HELD: the whole file at PATH. With it: exactly the bytes that were
// checked, through a second handle to the file the caller holds open and
// denies writers: no other file can take the name's place in between.
zip_source_t* openSource(const std::wstring& path, const THeldArchive* held, zip_error_t& error)
{
    if (!held)
        return zip_source_win32w_create(path.c_str(), 0, -1, &error);
    const HANDLE process = ::GetCurrentProcess();
    HANDLE duplicate = nullptr;
    if (!::DuplicateHandle(process, held->file, process, &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS))
        throw TZipError(openError(path, kChangedSinceCheck));
    win::FileHandle file(duplicate);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) != held->length)
        throw TZipError(openError(path, kChangedSinceCheck));
    zip_source_t* source =
        zip_source_win32handle_create(file.get(), 0, static_cast<zip_int64_t>(held->length), &error);
    if (source)
        file.release(); // closed with the source
    return source;
}

Archive openArchive(const std::wstring& path, const THeldArchive* held)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = openSource(path, held, error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
    if (!archive) {
        if (source)
            zip_source_free(source);
        const std::wstring reason = win::fromUtf8(zip_error_strerror(&error));
        zip_error_fini(&error);
        throw TZipError(openError(path, reason));
    }
    zip_error_fini(&error);
    return Archive(archive);
}

// Names flagged as UTF-8 (or plain ASCII) come back unchanged when libzip
// guesses; any other name is in the creating system's OEM code page.
std::wstring entryName(zip_t* archive, zip_uint64_t index)
{
    const char* raw = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
    const char* guessed = zip_get_name(archive, index, ZIP_FL_ENC_GUESS);
    if (!raw || !guessed)
        return {};
    const std::string rawText = raw;
    if (rawText == guessed)
        return win::fromUtf8(rawText);
    const int length = ::MultiByteToWideChar(CP_OEMCP, 0, rawText.data(), static_cast<int>(rawText.size()), nullptr, 0);
    std::wstring name(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_OEMCP, 0, rawText.data(), static_cast<int>(rawText.size()), name.data(), length);
    return name;
}

// The DOS attributes stored for the entry. Archives made on Unix carry them
// in the low byte too (7-Zip) or only as the mode's write permission.
DWORD storedAttributes(zip_t* archive, zip_uint64_t index)
{
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0)
        return 0;
    DWORD result = attributes & kStoredAttributes;
    const zip_uint32_t mode = attributes >> 16;
    if (system == ZIP_OPSYS_UNIX && mode != 0 && !(mode & kUnixOwnerWrite))
        result |= FILE_ATTRIBUTE_READONLY;
    return result;
}

// The bytes written so far, counted on the write-behind thread and told on
// the extracting thread, one call per 32 KiB.
class Progress {
public:
    Progress(uint64_t total, const TOnTotalPercent& callback) : total_(total), callback_(callback) {}

    std::atomic<uint64_t>& written() { return written_; }

    void tell()
    {
        const uint64_t written = written_;
        while (told_ < written) {
            told_ += std::min<uint64_t>(kProgressBlock, written - told_);
            int percent = 0;
            if (total_ > 0)
                percent = static_cast<int>(std::min<double>(100.0, std::round(100.0 * double(told_) / double(total_))));
            percent_ = std::max(percent_, percent);
            if (callback_)
                callback_(percent_);
        }
    }

private:
    uint64_t total_;
    std::atomic<uint64_t> written_{0};
    uint64_t told_ = 0;
    int percent_ = 0;
    const TOnTotalPercent& callback_;
};

// Decrypted but still compressed data of one entry, inflated here so that
// the stream is always read to its end (where the WinZip-AES authentication
// code is checked) and the size is checked by us. The data goes to the
// entry's output in blocks, written behind, where its CRC is checked.
class EntryReader {
public:
    // INPUT holds the compressed data read; stored data is read straight
    // into the blocks written.
    EntryReader(zip_file_t* entry, const zip_stat_t& stat, const std::shared_ptr<myzip::EntryOutput>& output,
                WriteBehind& writer, Progress& progress, std::vector<unsigned char>& input)
        : entry_(entry), stat_(stat), output_(output), writer_(writer), progress_(progress), input_(input)
    {
    }

    // False for a damaged entry, or one whose file failed.
    bool run()
    {
        if (stat_.comp_method == ZIP_CM_STORE)
            return copyStored() && checkedOut();
        InflateStream inflater;
        if (!inflater.ready)
            return false;
        bool streamEnded = false;
        for (zip_int64_t got; (got = zip_fread(entry_, input_.data(), input_.size())) != 0;) {
            if (got < 0 || output_->failed())
                return false;
            if (!streamEnded && !inflate(inflater.z, static_cast<size_t>(got), streamEnded))
                return false;
        }
        return streamEnded && emit() && checkedOut();
    }

private:
    // Read straight into the blocks that are written.
    bool copyStored()
    {
        for (;;) {
            if (output_->failed())
                return false;
            block_ = writer_.take();
            const zip_int64_t got = zip_fread(entry_, block_.data.get(), WriteBehind::kBlockSize);
            if (got <= 0)
                return got == 0;
            block_.size = static_cast<size_t>(got);
            if (!emit())
                return false;
        }
    }

    bool checkedOut() const { return size_ == stat_.size; }

    // Hands the filled part of the current block to the output.
    bool emit()
    {
        if (block_.size == 0)
            return true;
        if (size_ + block_.size > stat_.size)
            return false;
        size_ += block_.size;
        writer_.post(
            [output = output_](const WriteBehind::Block& block) { output->write(block.data.get(), block.size); },
            std::move(block_));
        block_ = {};
        progress_.tell();
        return true;
    }

    bool inflate(z_stream& z, size_t size, bool& streamEnded)
    {
        z.next_in = input_.data();
        z.avail_in = static_cast<uInt>(size);
        do {
            if (!block_.data)
                block_ = writer_.take();
            z.next_out = block_.data.get() + block_.size;
            z.avail_out = static_cast<uInt>(WriteBehind::kBlockSize - block_.size);
            const int status = ::inflate(&z, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
                return false;
            block_.size = WriteBehind::kBlockSize - z.avail_out;
            if (z.avail_out == 0 && !emit())
                return false;
            if (status == Z_STREAM_END) {
                streamEnded = true;
                return true;
            }
            // No progress possible: fine when the input is used up, a
            // damaged stream otherwise.
            if (status == Z_BUF_ERROR)
                return z.avail_in == 0;
        } while (z.avail_in > 0 || !block_.data);
        return true;
    }

    zip_file_t* entry_;
    const zip_stat_t& stat_;
    std::shared_ptr<myzip::EntryOutput> output_;
    WriteBehind& writer_;
    Progress& progress_;
    std::vector<unsigned char>& input_;
    WriteBehind::Block block_;
    uint64_t size_ = 0;
};

TSkipReason openFailure(zip_t* archive)
{
    switch (zip_error_code_zip(zip_get_error(archive))) {
    case ZIP_ER_WRONGPASSWD:
    case ZIP_ER_NOPASSWD:
        return TSkipReason::WrongPassword;
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_COMPNOTSUPP:
        return TSkipReason::UnknownMethod;
    default:
        return TSkipReason::Damaged;
    }
}

// Where each entry's file is made. A plain stored entry leaves the
// extracting thread little to do but read, while the write-behind thread
// writes the files before it: its file is made here, which takes the
// system's file creation (under Wine as costly as writing the file) off the
// write-behind thread. Files are still made in the archive's order: here
// only once every file queued to be made behind has been made.
class FileMaker {
public:
    void open(const std::shared_ptr<myzip::EntryOutput>& output, bool here, WriteBehind& writer)
    {
        if (here && queued_ == 0) {
            output->open();
            return;
        }
        ++queued_;
        writer.post([this, output] {
            output->open();
            --queued_;
        });
    }

private:
    std::atomic<size_t> queued_{0};
};

// Reads the entry here, through INPUT, while its file is made and written
// behind; RESULT is set by the write-behind thread once the file is finished.
void extractFile(zip_t* archive, const zip_stat_t& stat, const std::wstring& target, DWORD attributes,
                 const char* password, FileMaker& maker, WriteBehind& writer, Progress& progress,
                 std::vector<unsigned char>& input, EntryResult& result)
{
    if (stat.comp_method != ZIP_CM_STORE && stat.comp_method != ZIP_CM_DEFLATE) {
        result = Skip{TSkipReason::UnknownMethod};
        return;
    }
    // A wrong password is caught here, before the target is touched.
    zip_error_clear(archive);
    EntryFile entry(zip_fopen_index_encrypted(archive, stat.index, ZIP_FL_COMPRESSED, password));
    if (!entry) {
        result = Skip{openFailure(archive)};
        return;
    }
    const std::optional<uint32_t> crc =
        (stat.valid & ZIP_STAT_CRC) ? std::optional<uint32_t>(stat.crc) : std::nullopt;
    auto output = std::make_shared<myzip::EntryOutput>(target, stat.mtime, attributes, crc, progress.written());
    const bool plainStored = stat.comp_method == ZIP_CM_STORE && (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) &&
                             stat.encryption_method == ZIP_EM_NONE;
    maker.open(output, plainStored, writer);
    const bool intact = EntryReader(entry.get(), stat, output, writer, progress, input).run();
    writer.post([output, intact, &result] { result = output->finish(intact); });
}

// A stored folder, made already, gets its hidden and system attributes.
EntryResult extractFolder(const std::wstring& folder, DWORD attributes)
{
    if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        ::SetFileAttributesW(folder.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return {};
}

// The folders of one extraction below its destination. Each is made or found
// once and refused when it is a junction or a symbolic link (an earlier,
// unelevated process may have planted one to send the writes elsewhere);
// each is held open until the extraction ends, so that it can be neither
// swapped for a link nor moved meanwhile.
class TargetFolders {
public:
    // ROOT without its trailing separator, a drive root's too ("D:"): names
    // are appended after a "\\".
    explicit TargetFolders(const std::wstring& root)
        : root_(!root.empty() && isSeparator(root.back()) ? root.substr(0, root.size() - 1) : root)
    {
        createFolders(root);
        // The destination itself is the user's choice, a link or not.
        held_.emplace_back(::CreateFileW(root.c_str(), FILE_TRAVERSE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        rootHeld_ = static_cast<bool>(held_.back());
    }

    // The path of the folder RELATIVE (its segments joined by "\\"; "" for
    // the destination, which then comes without a drive root's separator,
    // ready for "\\" and a name); "" when it cannot be made or is a link.
    std::wstring folder(const std::wstring& relative)
    {
        if (!rootHeld_)
            return {};
        size_t end = 0;
        while (end < relative.size()) {
            end = std::min(relative.find(L'\\', end), relative.size());
            if (!real(relative.substr(0, end)))
                return {};
            ++end;
        }
        return relative.empty() ? root_ : root_ + L"\\" + relative;
    }

private:
    bool real(const std::wstring& relative)
    {
        if (const auto known = known_.find(relative); known != known_.end())
            return known->second;
        win::FileHandle folder = openRealFolder(root_ + L"\\" + relative);
        const bool ok = static_cast<bool>(folder);
        if (ok)
            held_.push_back(std::move(folder));
        known_[relative] = ok;
        return ok;
    }

    // Without a separator at the end: "D:" for the root of drive D:.
    std::wstring root_;
    bool rootHeld_ = false;
    std::map<std::wstring, bool> known_;
    std::vector<win::FileHandle> held_;
};

// The stats of every entry whose record can be read (SKIPPED gets the others
// as "#<index>"), and their declared sizes added.
std::vector<zip_stat_t> entryStats(zip_t* archive, uint64_t& total, std::vector<TSkippedEntry>& skipped)
{
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    std::vector<zip_stat_t> stats;
    total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0) {
            skipped.push_back({L"#" + std::to_wstring(i), TSkipReason::Damaged});
            continue;
        }
        total = stat.size > UINT64_MAX - total ? UINT64_MAX : total + stat.size;
        stats.push_back(stat);
    }
    return stats;
}

} // namespace

TZipError::TZipError(const std::wstring& message) : std::runtime_error(win::toUtf8(message)), message_(message) {}

win::FileHandle createHeldArchive(const std::wstring& path)
{
    return win::FileHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::vector<TSkippedEntry> unZipFile(const std::wstring& archivePath, const std::wstring& destDir,
                                     const std::wstring& password, const TOnTotalPercent& onTotalPercent,
                                     const THeldArchive* held)
{
    const Archive archive = openArchive(archivePath, held);
    const std::string ansiPassword = win::toAnsi(password);
    const char* passwordBytes = ansiPassword.empty() ? nullptr : ansiPassword.c_str();

    const std::wstring destination = withoutTrailingSeparators(destDir);

    std::vector<TSkippedEntry> skipped;
    uint64_t total = 0;
    const std::vector<zip_stat_t> stats = entryStats(archive.get(), total, skipped);
    TargetFolders folders(destination);
    Progress progress(total, onTotalPercent);
    // Each entry's name and why it was skipped; the write-behind thread sets
    // the results of the files it finishes.
    std::vector<std::pair<std::wstring, EntryResult>> results(stats.size());
    // One read buffer for every entry: a new one per entry costs under Wine a
    // commit of its pages, their zeroing and a release each time.
    std::vector<unsigned char> input(kReadBlock);
    // Before the writer, whose remaining work may refer to it.
    FileMaker maker;
    WriteBehind writer;
    for (size_t i = 0; i < stats.size(); ++i) {
        const zip_stat_t& stat = stats[i];
        auto& [name, result] = results[i];
        name = entryName(archive.get(), stat.index);
        std::wstring relative;
        if (!entryRelativePath(name, relative)) {
            result = Skip{TSkipReason::UnsafeName};
            continue;
        }
        const DWORD attributes = storedAttributes(archive.get(), stat.index);
        if (relative.back() == L'\\') {
            const std::wstring folder = folders.folder(relative.substr(0, relative.size() - 1));
            result = folder.empty() ? Skip{TSkipReason::LinkedFolder} : extractFolder(folder, attributes);
            continue;
        }
        const size_t slash = relative.rfind(L'\\');
        const std::wstring parent = folders.folder(slash == std::wstring::npos ? L"" : relative.substr(0, slash));
        if (parent.empty())
            result = Skip{TSkipReason::LinkedFolder};
        else
            extractFile(archive.get(), stat, parent + L"\\" + relative.substr(slash + 1), attributes, passwordBytes,
                        maker, writer, progress, input, result);
    }
    writer.drain();
    progress.tell();
    for (const auto& [name, result] : results)
        if (result)
            skipped.push_back({name, result->reason, result->error});
    return skipped;
}

uint64_t extractedSize(const std::wstring& archivePath, const std::vector<TSkippedEntry>& skipped,
                       const THeldArchive* held)
{
    try {
        const Archive archive = openArchive(archivePath, held);
        std::set<std::wstring> left;
        for (const TSkippedEntry& entry : skipped)
            left.insert(entry.name);
        uint64_t declared = 0, bytes = 0;
        std::vector<TSkippedEntry> unreadable;
        for (const zip_stat_t& stat : entryStats(archive.get(), declared, unreadable))
            if (!left.contains(entryName(archive.get(), stat.index)))
                bytes += stat.size;
        return bytes;
    } catch (const TZipError&) {
        return 0;
    }
}

bool entryDigest(const std::wstring& archivePath, const std::wstring& password, const std::wstring& relative,
                 signing::Digest& digest, const THeldArchive* held)
{
    try {
        const Archive archive = openArchive(archivePath, held);
        const std::string ansiPassword = win::toAnsi(password);
        uint64_t declared = 0;
        std::vector<TSkippedEntry> unreadable;
        for (const zip_stat_t& stat : entryStats(archive.get(), declared, unreadable)) {
            std::wstring path;
            if (!entryRelativePath(entryName(archive.get(), stat.index), path) || path.empty() ||
                path.back() == L'\\' || !samePath(path, relative))
                continue;
            // Decompressed and its checksum (or authentication code) checked
            // by libzip as it is read to the end.
            EntryFile entry(zip_fopen_index_encrypted(archive.get(), stat.index, 0,
                                                      ansiPassword.empty() ? nullptr : ansiPassword.c_str()));
            if (!entry)
                return false;
            Sha256 sha;
            std::vector<unsigned char> block(kReadBlock);
            uint64_t size = 0;
            for (zip_int64_t got; (got = zip_fread(entry.get(), block.data(), block.size())) != 0;) {
                if (got < 0)
                    return false;
                sha.update(block.data(), static_cast<size_t>(got));
                size += static_cast<uint64_t>(got);
            }
            if (size != stat.size)
                return false;
            digest = sha.finish();
            return true;
        }
    } catch (const TZipError&) {
    }
    return false;
}

win::FileHandle holdIfDigest(const std::wstring& path, const signing::Digest& digest)
{
    win::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    const DWORD attributes = file ? attributesOf(file.get()) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return {};
    Sha256 sha;
    std::vector<unsigned char> block(kReadBlock);
    for (DWORD got = 0;;) {
        if (!::ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr))
            return {};
        if (got == 0)
            break;
        sha.update(block.data(), got);
    }
    return sha.finish() == digest ? std::move(file) : win::FileHandle();
}

bool declaredSize(const std::wstring& archivePath, uint64_t& bytes, const THeldArchive* held)
{
    try {
        const Archive archive = openArchive(archivePath, held);
        std::vector<TSkippedEntry> unreadable;
        entryStats(archive.get(), bytes, unreadable);
        return true;
    } catch (const TZipError&) {
        return false;
    }
}
