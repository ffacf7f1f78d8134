#include "system/MyZip.h"

#include "system/Crc32.h"
#include "system/Encoding.h"
#include "system/Handles.h"

#include "system/Handles.h"
#include "system/Resource.h"
#include "system/ZipEntryName.h"
#include "tests/support/Helper.h"
#include "tests/support/TempDir.h"
#include "tests/support/ZipMaker.h"

#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kPassword[] = L"402718";

std::string resourceText(const wchar_t* name)
{
    const auto bytes = ownResourceBytes(name, L"FILE");
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string patternBytes(size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 24);
    }
    return bytes;
}

std::string textBytes(size_t lines)
{
    std::string text;
    for (size_t i = 0; i < lines; ++i)
        text += "line " + std::to_string(i) + " of a text that compresses well\r\n";
    return text;
}

DWORD attributesOf(const fs::path& file) { return ::GetFileAttributesW(file.c_str()); }

// Last write time in seconds since 1970, as libzip gives an entry's time.
time_t writeTimeOf(const fs::path& file)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data))
        return -1;
    const ULONGLONG ticks = (ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return static_cast<time_t>(ticks / 10000000ULL - 11644473600ULL);
}

time_t entryTime(const fs::path& archive, const char* name)
{
    zip_t* zip = zip_open(archive.string().c_str(), ZIP_RDONLY, nullptr);
    zip_stat_t stat{};
    const bool found = zip && zip_stat(zip, name, 0, &stat) == 0;
    if (zip)
        zip_discard(zip);
    return found ? stat.mtime : -2;
}

// Extracts and keeps every progress value, and what was skipped.
std::vector<int> extract(const fs::path& archive, const fs::path& dest, const wchar_t* password = kPassword,
                         std::vector<TSkippedEntry>* skipped = nullptr)
{
    std::vector<int> percents;
    auto skips =
        unZipFile(archive.wstring(), dest.wstring(), password, [&](int percent) { percents.push_back(percent); });
    if (skipped)
        *skipped = std::move(skips);
    return percents;
}

std::vector<TSkippedEntry> skippedBy(const fs::path& archive, const fs::path& dest, const wchar_t* password = kPassword)
{
    std::vector<TSkippedEntry> skipped;
    extract(archive, dest, password, &skipped);
    return skipped;
}

// Each skipped entry's name and reason, in order.
std::vector<std::pair<std::wstring, TSkipReason>> reasons(const std::vector<TSkippedEntry>& skipped)
{
    std::vector<std::pair<std::wstring, TSkipReason>> out;
    for (const TSkippedEntry& entry : skipped)
        out.emplace_back(entry.name, entry.reason);
    return out;
}

// The bar rises in steps from below 100 and ends at 100.
void expectProgressShape(const std::vector<int>& percents)
{
    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_LT(percents.front(), 100) << "no progress before the end";
    EXPECT_EQ(percents.back(), 100);
}

class SevenZipPackage : public ::testing::TestWithParam<const wchar_t*> {
protected:
    TempDir dir_;
};

TEST_P(SevenZipPackage, ExtractsEveryEntryWithFoldersAndAttributes)
{
    const fs::path archive = dir_ / L"package.zip";
    writeFile(archive, resourceText(GetParam()));
    const fs::path dest = dir_ / L"Install Dir";

    const std::vector<int> percents = extract(archive, dest.wstring() + L"\\");

    EXPECT_TRUE(readFile(dest / L"readme.txt") == resourceText(L"README"));
    EXPECT_TRUE(readFile(dest / L"sub\\deeper\\data.bin") == resourceText(L"DATABIN"));
    EXPECT_TRUE(fs::is_regular_file(dest / L"sub\\empty.txt"));
    EXPECT_EQ(fs::file_size(dest / L"sub\\empty.txt"), 0u);
    EXPECT_EQ(readFile(dest / L"readonly.txt"), resourceText(L"READONLY"));
    EXPECT_TRUE(attributesOf(dest / L"readonly.txt") & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(attributesOf(dest / L"readme.txt") & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(writeTimeOf(dest / L"readme.txt"), entryTime(archive, "readme.txt"));
    EXPECT_EQ(writeTimeOf(dest / L"readonly.txt"), entryTime(archive, "readonly.txt"));
    expectProgressShape(percents);
    // One call per written block of at most 32 KiB, at least.
    const size_t bytes = resourceText(L"README").size() + resourceText(L"DATABIN").size();
    EXPECT_GE(percents.size(), bytes / 32768);
}

TEST_P(SevenZipPackage, WrongPasswordWritesNothingAndRaisesNothing)
{
    const fs::path archive = dir_ / L"package.zip";
    writeFile(archive, resourceText(GetParam()));
    const fs::path dest = dir_ / L"dest";
    EXPECT_NO_THROW(extract(archive, dest, L"402719"));
    EXPECT_FALSE(fs::exists(dest / L"readme.txt"));
    EXPECT_FALSE(fs::exists(dest / L"sub\\deeper\\data.bin"));
}

INSTANTIATE_TEST_SUITE_P(MadeBy7Zip, SevenZipPackage,
                         ::testing::Values(L"AES256ZIP", L"AES128ZIP", L"AES256STORED", L"ZIPCRYPTO"));

class UnZipFile : public ::testing::Test {
protected:
    TempDir dir_;
    fs::path archive_ = dir_ / L"package.zip";
    fs::path dest_ = dir_ / L"dest";
};

TEST_F(UnZipFile, DecryptsEveryCipherAndMethod)
{
    const std::string text = textBytes(3000);
    const std::string random = patternBytes(70000, 7);
    std::vector<ZipMakerEntry> entries;
    int n = 0;
    for (ZipCipher cipher : {ZipCipher::none, ZipCipher::pkware, ZipCipher::aes128, ZipCipher::aes192,
                             ZipCipher::aes256}) {
        for (bool stored : {false, true}) {
            // Appended rather than "c" + ...: GCC 12 warns wrongly about the latter.
            std::string name = "c";
            name += std::to_string(n++);
            entries.push_back({name + "/text.txt", text, cipher, stored});
            entries.push_back({name + "/random.bin", random, cipher, stored});
        }
    }
    makeZip(archive_, entries);
    expectProgressShape(extract(archive_, dest_));
    for (int i = 0; i < n; ++i) {
        const fs::path folder = dest_ / ("c" + std::to_string(i));
        EXPECT_TRUE(readFile(folder / L"text.txt") == text) << i;
        EXPECT_TRUE(readFile(folder / L"random.bin") == random) << i;
    }
}

TEST_F(UnZipFile, StoredFoldersNamesAndDosAttributesAreKept)
{
    makeZip(archive_, {{"empty folder/", ""},
                       {"hidden/", "", ZipCipher::none, false, FILE_ATTRIBUTE_HIDDEN},
                       {"\xe6\x96\x87\xe6\xa1\xa3/\xc3\xbc.txt", "utf8", ZipCipher::aes256},
                       {"sys.dat", "s", ZipCipher::none, false, FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN},
                       {"ro.txt", "r", ZipCipher::pkware, false, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE}});
    extract(archive_, dest_);
    EXPECT_TRUE(fs::is_directory(dest_ / L"empty folder"));
    EXPECT_TRUE(attributesOf(dest_ / L"hidden") & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(readFile(dest_ / L"\u6587\u6863\\\u00fc.txt"), "utf8");
    const DWORD sys = attributesOf(dest_ / L"sys.dat");
    EXPECT_TRUE((sys & FILE_ATTRIBUTE_SYSTEM) && (sys & FILE_ATTRIBUTE_HIDDEN));
    const DWORD ro = attributesOf(dest_ / L"ro.txt");
    EXPECT_TRUE((ro & FILE_ATTRIBUTE_READONLY) && (ro & FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(UnZipFile, ReplacesEveryFileThereWhateverItsAttributesAndTellsOneInUse)
{
    makeZip(archive_, {{"a.txt", "new a"},
                       {"locked.txt", "new locked"},
                       {"hidden.txt", "new hidden"},
                       {"busy.txt", "new busy"},
                       {"taken.txt", "a folder has its name"}});
    writeFile(dest_ / L"a.txt", std::string(5000, 'o'));
    writeFile(dest_ / L"locked.txt", "old locked");
    writeFile(dest_ / L"hidden.txt", "old hidden");
    writeFile(dest_ / L"busy.txt", "old busy");
    fs::create_directories(dest_ / L"taken.txt");
    ::SetFileAttributesW((dest_ / L"locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ::SetFileAttributesW((dest_ / L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const win::FileHandle busy(
        ::CreateFileW((dest_ / L"busy.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));

    const auto skipped = skippedBy(archive_, dest_);

    EXPECT_EQ(readFile(dest_ / L"a.txt"), "new a");
    EXPECT_EQ(readFile(dest_ / L"locked.txt"), "new locked");
    EXPECT_EQ(readFile(dest_ / L"hidden.txt"), "new hidden");
    EXPECT_FALSE(attributesOf(dest_ / L"locked.txt") & FILE_ATTRIBUTE_READONLY) << "the entry's attributes";
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_EQ(reasons(skipped)[0], std::pair(std::wstring(L"busy.txt"), TSkipReason::NotReplaced));
    EXPECT_EQ(reasons(skipped)[1], std::pair(std::wstring(L"taken.txt"), TSkipReason::Unwritable));
    EXPECT_NE(skipped[1].error, 0u) << "the system's error is kept";
}

TEST_F(UnZipFile, AnExtractedFileIsHeldOnlyWhileItHoldsItsEntrysBytes)
{
    makeZip(archive_, {{"run/after.bat", "echo package", ZipCipher::aes256}, {"other.bat", "echo other"}});
    extract(archive_, dest_);
    const std::wstring script = (dest_ / L"run" / L"after.bat").wstring();
    signing::Digest digest{};
    ASSERT_TRUE(entryDigest(archive_.wstring(), kPassword, L"RUN/after.bat", digest));
    EXPECT_FALSE(entryDigest(archive_.wstring(), kPassword, L"run", digest)) << "a folder has no content";
    {
        const win::FileHandle held = holdIfDigest(script, digest);
        ASSERT_TRUE(held);
        EXPECT_FALSE(win::FileHandle(::CreateFileW(script.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                   nullptr, OPEN_EXISTING, 0, nullptr)))
            << "no writer while it is held";
    }
    writeFile(script, "echo planted");
    EXPECT_FALSE(holdIfDigest(script, digest));
}

TEST_F(UnZipFile, DriveRootDestinationMeansTheRoot)
{
    // With the current folder elsewhere on the same drive, "X:" without its
    // separator would name that folder instead of the root.
    const fs::path current = dest_ / L"current";
    fs::create_directories(current);
    const std::wstring root = current.root_name().wstring() + L"\\";
    const std::wstring name = L"unzip-root-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    makeZip(archive_, {{win::toUtf8(name), "root"}});
    const fs::path previous = fs::current_path();
    ASSERT_TRUE(::SetCurrentDirectoryW(current.c_str()));
    extract(archive_, root);
    ::SetCurrentDirectoryW(previous.c_str());
    const std::string atRoot = readFile(fs::path(root) / name);
    ::DeleteFileW((root + name).c_str());
    EXPECT_EQ(atRoot, "root");
    EXPECT_FALSE(fs::exists(current / name));
}

// Whether PASSWORD passes the check of the encrypted entry NAME.
bool passwordPassesCheck(const fs::path& archive, const char* name, const wchar_t* password)
{
    zip_t* zip = zip_open(archive.string().c_str(), ZIP_RDONLY, nullptr);
    if (!zip)
        return false;
    zip_file_t* file = zip_fopen_encrypted(zip, name, 0, win::toUtf8(password).c_str());
    if (file)
        zip_fclose(file);
    zip_discard(zip);
    return file != nullptr;
}

TEST_F(UnZipFile, WrongPasswordSkipsOnlyTheEncryptedEntries)
{
    // The password checks are one byte (PKWARE) and two (AES) that depend on
    // a random header: a wrong password passes PKWARE's in one archive of
    // 256, and the entry then reads as damaged.
    do
        makeZip(archive_, {{"plain.txt", "plain"}, {"aes.txt", textBytes(100), ZipCipher::aes256},
                           {"pk.txt", textBytes(100), ZipCipher::pkware}},
                "another");
    while (passwordPassesCheck(archive_, "pk.txt", kPassword) || passwordPassesCheck(archive_, "aes.txt", kPassword));
    std::vector<TSkippedEntry> skipped;
    EXPECT_NO_THROW(extract(archive_, dest_, kPassword, &skipped));
    EXPECT_EQ(reasons(skipped), (std::vector<std::pair<std::wstring, TSkipReason>>{
                                    {L"aes.txt", TSkipReason::WrongPassword},
                                    {L"pk.txt", TSkipReason::WrongPassword}}));
    EXPECT_EQ(readFile(dest_ / L"plain.txt"), "plain");
    EXPECT_FALSE(fs::exists(dest_ / L"aes.txt"));
    EXPECT_FALSE(fs::exists(dest_ / L"pk.txt"));
}

TEST_F(UnZipFile, OnlyEmptyFilesGiveNoProgressAboveZero)
{
    makeZip(archive_, {{"a.txt", ""}, {"b/c.txt", "", ZipCipher::aes256}});
    const std::vector<int> percents = extract(archive_, dest_);
    EXPECT_TRUE(std::all_of(percents.begin(), percents.end(), [](int p) { return p == 0; }));
    EXPECT_TRUE(fs::exists(dest_ / L"a.txt"));
    EXPECT_TRUE(fs::exists(dest_ / L"b\\c.txt"));
}

TEST_F(UnZipFile, UnusableArchiveRaisesBeforeWritingAnything)
{
    makeZip(archive_, {{"a.txt", patternBytes(50000, 3)}, {"b.txt", "b"}});
    const std::string whole = readFile(archive_);
    const fs::path truncated = dir_ / L"truncated.zip";
    writeFile(truncated, whole.substr(0, whole.size() - 30));
    const fs::path notZip = dir_ / L"text.zip";
    writeFile(notZip, "just text");

    for (const fs::path& bad : {truncated, notZip, dir_ / L"missing.zip"}) {
        try {
            extract(bad, dest_);
            ADD_FAILURE() << "no error for " << bad;
        } catch (const TZipError& error) {
            EXPECT_NE(error.message().find(bad.wstring()), std::wstring::npos) << error.what();
        }
        EXPECT_FALSE(fs::exists(dest_));
    }
}

// The installer's way: the archive held open, other writers denied, read
// through that handle at the length whose signature was checked.
TEST_F(UnZipFile, HeldArchiveIsReadThroughItsHandleOnlyAtTheCheckedLength)
{
    makeZip(archive_, {{"a.txt", "held"}});
    const uint64_t length = fs::file_size(archive_);
    const win::FileHandle held(::CreateFileW(archive_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    const THeldArchive shorter{held.get(), length - 1};
    EXPECT_THROW(unZipFile(archive_.wstring(), dest_.wstring(), kPassword, {}, &shorter), TZipError);
    EXPECT_FALSE(fs::exists(dest_));
    uint64_t declared = 0;
    signing::Digest digest{};
    EXPECT_FALSE(declaredSize(archive_.wstring(), declared, &shorter));
    EXPECT_FALSE(entryDigest(archive_.wstring(), kPassword, L"a.txt", digest, &shorter));
    const THeldArchive checked{held.get(), length};
    // Read through the handle alone: the name given is only for messages.
    const std::wstring elsewhere = (dir_ / L"elsewhere.zip").wstring();
    EXPECT_TRUE(declaredSize(elsewhere, declared, &checked));
    EXPECT_EQ(declared, 4u);
    ASSERT_TRUE(entryDigest(elsewhere, kPassword, L"a.txt", digest, &checked));
    EXPECT_TRUE(unZipFile(archive_.wstring(), dest_.wstring(), kPassword, {}, &checked).empty());
    EXPECT_EQ(readFile(dest_ / L"a.txt"), "held");
    EXPECT_TRUE(holdIfDigest((dest_ / L"a.txt").wstring(), digest));
    EXPECT_EQ(extractedSize(archive_.wstring(), {}, &checked), 4u);
}

// One changed byte in the data of an entry: AES tells by its authentication
// code, a stored or deflated entry, plain or PKWARE, only by its CRC. The
// entry's file is removed again.
TEST_F(UnZipFile, DamagedEntryIsNotLeftBehind)
{
    const std::string first = patternBytes(60000, 5);
    for (const auto& [cipher, stored] : {std::pair{ZipCipher::aes256, false}, std::pair{ZipCipher::none, true},
                                         std::pair{ZipCipher::none, false}, std::pair{ZipCipher::pkware, true}}) {
        makeZip(archive_, {{"first.bin", first, cipher, stored}, {"second.txt", "intact", cipher, stored}});
        std::string bytes = readFile(archive_);
        // The first entry's data starts after its local header, name and extra field.
        const size_t nameLength = uint8_t(bytes[26]) | uint8_t(bytes[27]) << 8;
        const size_t extraLength = uint8_t(bytes[28]) | uint8_t(bytes[29]) << 8;
        bytes[30 + nameLength + extraLength + 18 + 20000] ^= 0x01;
        writeFile(archive_, bytes);

        EXPECT_EQ(reasons(skippedBy(archive_, dest_)),
                  (std::vector<std::pair<std::wstring, TSkipReason>>{{L"first.bin", TSkipReason::Damaged}}));
        EXPECT_FALSE(fs::exists(dest_ / L"first.bin")) << int(cipher) << stored;
        EXPECT_EQ(readFile(dest_ / L"second.txt"), "intact") << int(cipher) << stored;
        fs::remove_all(dest_);
    }
}

// The files of later entries may be made before an earlier entry's file is
// finished: one of the same name still ends up with its content.
TEST_F(UnZipFile, AnEntryNamedLikeAnEarlierDamagedOneIsStillExtracted)
{
    makeZip(archive_, {{"first.bin", patternBytes(60000, 5), ZipCipher::none, true},
                       {"FIRST.BIN", "intact", ZipCipher::none, true}});
    std::string bytes = readFile(archive_);
    const size_t nameLength = uint8_t(bytes[26]) | uint8_t(bytes[27]) << 8;
    const size_t extraLength = uint8_t(bytes[28]) | uint8_t(bytes[29]) << 8;
    bytes[30 + nameLength + extraLength + 20000] ^= 0x01;
    writeFile(archive_, bytes);

    EXPECT_EQ(reasons(skippedBy(archive_, dest_)),
              (std::vector<std::pair<std::wstring, TSkipReason>>{{L"first.bin", TSkipReason::Damaged}}));
    EXPECT_EQ(readFile(dest_ / L"first.bin"), "intact");
    EXPECT_EQ(std::distance(fs::directory_iterator(dest_), fs::directory_iterator()), 1) << "nothing left beside it";
}

TEST_F(UnZipFile, AFailedEntryLeavesTheFileItWouldReplace)
{
    makeZip(archive_, {{"first.bin", patternBytes(60000, 5), ZipCipher::none, true}});
    std::string bytes = readFile(archive_);
    const size_t nameLength = uint8_t(bytes[26]) | uint8_t(bytes[27]) << 8;
    const size_t extraLength = uint8_t(bytes[28]) | uint8_t(bytes[29]) << 8;
    bytes[30 + nameLength + extraLength + 20000] ^= 0x01;
    writeFile(archive_, bytes);
    writeFile(dest_ / L"first.bin", "old");
    extract(archive_, dest_);
    EXPECT_EQ(readFile(dest_ / L"first.bin"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dest_), fs::directory_iterator()), 1) << "nothing left beside it";
}

TEST_F(UnZipFile, NothingIsWrittenThroughALinkInsideTheDestination)
{
    const fs::path outside = dir_ / L"outside";
    writeFile(outside / L"victim.txt", "victim");
    fs::create_directories(dest_);
    if (!makeLink(dest_ / L"linked", outside) || !makeLink(dest_ / L"file.txt", outside / L"victim.txt"))
        GTEST_SKIP() << "links cannot be made here";
    makeZip(archive_, {{"linked/victim.txt", "evil"}, {"linked/sub/new.txt", "evil"}, {"file.txt", "new"},
                       {"own.txt", "own"}});
    extract(archive_, dest_);
    EXPECT_EQ(readFile(outside / L"victim.txt"), "victim");
    EXPECT_FALSE(fs::exists(outside / L"sub"));
    EXPECT_EQ(readFile(dest_ / L"file.txt"), "new") << "the link itself is replaced";
    EXPECT_EQ(readFile(dest_ / L"own.txt"), "own");
}

TEST_F(UnZipFile, EntriesThatWouldLeaveTheDestinationAreSkipped)
{
    const fs::path outside = dir_ / L"outside";
    const std::string outsideUtf8 = outside.string();
    makeZip(archive_, {{"../escaped.txt", "x"},
                       {"a/../../escaped2.txt", "x"},
                       {"..\\escaped3.txt", "x"},
                       {"/rooted.txt", "x"},
                       {"\\\\?\\" + outsideUtf8 + "\\device.txt", "x"},
                       {outsideUtf8 + "\\absolute.txt", "x"},
                       {"C:drive.txt", "x"},
                       {"a/.. /escaped4.txt", "x"},
                       {"a/b/../../kept.txt", "kept"},
                       {"./dot/kept2.txt", "kept2"}});
    const auto skipped = skippedBy(archive_, dest_);
    EXPECT_EQ(skipped.size(), 8u);
    EXPECT_TRUE(std::all_of(skipped.begin(), skipped.end(),
                            [](const TSkippedEntry& e) { return e.reason == TSkipReason::UnsafeName; }));
    EXPECT_FALSE(fs::exists(dir_ / L"escaped.txt"));
    EXPECT_FALSE(fs::exists(dir_ / L"escaped2.txt"));
    EXPECT_FALSE(fs::exists(dir_ / L"escaped3.txt"));
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_EQ(readFile(dest_ / L"kept.txt"), "kept");
    EXPECT_EQ(readFile(dest_ / L"dot\\kept2.txt"), "kept2");
    std::vector<fs::path> written;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path()))
        if (entry.is_regular_file())
            written.push_back(entry.path().lexically_relative(dir_.path()));
    EXPECT_EQ(written.size(), 3u) << "archive, kept.txt, kept2.txt";
}

// Every length around the folding's 64- and 16-byte steps, every alignment,
// and a CRC carried from one block into the next, against zlib.
TEST(Crc32Update, MatchesZlibForEveryLengthAlignmentAndSplit)
{
    const std::string bytes = patternBytes(70000, 9);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t offset = 0; offset < 16; ++offset)
        for (size_t size = 0; size <= 300; ++size)
            ASSERT_EQ(crc32Update(0, data + offset, size), crc32(0, data + offset, uInt(size)))
                << offset << " " << size;
    const uint32_t whole = crc32Update(0, data, bytes.size());
    EXPECT_EQ(whole, crc32(0, data, uInt(bytes.size())));
    for (size_t split : {size_t(1), size_t(63), size_t(64), size_t(1000), size_t(65537)})
        EXPECT_EQ(crc32Update(crc32Update(0, data, split), data + split, bytes.size() - split), whole) << split;
}

TEST(EntryRelativePath, ResolvesInsideAndRefusesEverythingElse)
{
    std::wstring path;
    ASSERT_TRUE(entryRelativePath(L"a/b\\c.txt", path));
    EXPECT_EQ(path, L"a\\b\\c.txt");
    ASSERT_TRUE(entryRelativePath(L"a//./b/../c/", path));
    EXPECT_EQ(path, L"a\\c\\");
    for (const wchar_t* bad : {L"", L"/", L"..", L"a/../..", L"a/..", L"C:/x", L"C:x", L"x:stream", L"//server/share/x",
                               L"\\\\.\\pipe\\x", L"CON", L"dir/nul.txt", L"Com1.log", L"a/.../b", L"a/b. ",
                               L"a\x01.txt", L"a|b", L"what?.txt", L"com0", L"LPT0.txt", L"d/COM\u00B9",
                               L"lpt\u00B3.log", L"conin$", L"CONOUT$.txt"})
        EXPECT_FALSE(entryRelativePath(bad, path)) << bad;
    for (const wchar_t* fine : {L"COM10", L"lpt", L"console.txt", L"com\u00B4"})
        EXPECT_TRUE(entryRelativePath(fine, path)) << fine;
}

TEST(PackageResource, ExistsAndIsSavedWhole)
{
    EXPECT_TRUE(resourceExists(L"zipfile", L"file"));
    EXPECT_FALSE(resourceExists(L"nosuchpackage", L"file"));
    EXPECT_FALSE(resourceExists(L"zipfile", L"rcdata"));

    TempDir dir;
    const fs::path target = dir / L"pkg.zip";
    writeFile(target, std::string(3000000, 'o'));
    ASSERT_TRUE(saveResourceToFile(L"zipfile", L"file", target.wstring()));
    EXPECT_TRUE(readFile(target) == resourceText(L"ZIPFILE"));
    extract(target, dir / L"dest");
    EXPECT_TRUE(readFile(dir / L"dest\\readme.txt") == resourceText(L"README"));

    // A target that cannot be written is no success.
    fs::create_directories(dir / L"folder.zip");
    EXPECT_FALSE(saveResourceToFile(L"zipfile", L"file", (dir / L"folder.zip").wstring()));
}

} // namespace
