#include "Package.h"

#include "system/Encoding.h"
#include "system/Handles.h"

#include <zip.h>

#include <windows.h>

#include <memory>

namespace {

// The DOS attributes a zip entry keeps: read-only, hidden, system, archive.
constexpr DWORD kStoredAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

struct ZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipDiscard>;

class PackageWriter {
public:
    PackageWriter(zip_t* archive, PackageEncryption encryption, const std::string& password)
        : archive_(archive), method_(encryption == PackageEncryption::Aes256 ? ZIP_EM_AES_256 : ZIP_EM_TRAD_PKWARE),
          password_(password)
    {
    }

    // Adds everything below FOLDER under the archive path PREFIX ("" or "a/b/").
    bool addFolder(const std::wstring& folder, const std::string& prefix, std::string& error)
    {
        WIN32_FIND_DATAW entry{};
        const win::FindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
        if (!find) {
            error = "cannot read folder " + win::toUtf8(folder);
            return false;
        }
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            const std::string stored = prefix + win::toUtf8(name);
            const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            const bool added = isFolder ? addDirectory(stored + "/", entry.dwFileAttributes, error) &&
                                              addFolder(path, stored + "/", error)
                                        : addFile(path, stored, entry.dwFileAttributes, error);
            if (!added)
                return false;
        } while (::FindNextFileW(find.get(), &entry));
        return true;
    }

private:
    bool addDirectory(const std::string& stored, DWORD attributes, std::string& error)
    {
        const zip_int64_t index = zip_dir_add(archive_, stored.c_str(), ZIP_FL_ENC_UTF_8);
        return index >= 0 && setAttributes(index, attributes | FILE_ATTRIBUTE_DIRECTORY, error);
    }

    bool addFile(const std::wstring& path, const std::string& stored, DWORD attributes, std::string& error)
    {
        zip_source_t* source = zip_source_win32w(archive_, path.c_str(), 0, -1);
        if (!source)
            return fail("cannot read " + win::toUtf8(path), error);
        const zip_int64_t index = zip_file_add(archive_, stored.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            return fail("cannot add " + stored, error);
        }
        if (zip_set_file_compression(archive_, index, ZIP_CM_DEFLATE, 9) < 0 ||
            zip_file_set_encryption(archive_, index, method_, password_.c_str()) < 0)
            return fail("cannot encrypt " + stored, error);
        return setAttributes(index, attributes, error);
    }

    bool setAttributes(zip_int64_t index, DWORD attributes, std::string& error)
    {
        const DWORD kept = attributes & (kStoredAttributes | FILE_ATTRIBUTE_DIRECTORY);
        if (zip_file_set_external_attributes(archive_, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_DOS, kept) < 0)
            return fail("cannot set attributes", error);
        return true;
    }

    bool fail(const std::string& what, std::string& error)
    {
        error = what + ": " + zip_strerror(archive_);
        return false;
    }

    zip_t* archive_;
    zip_uint16_t method_;
    std::string password_;
};

} // namespace

bool buildPackage(const std::wstring& folder, const std::wstring& archive, PackageEncryption encryption,
                  const std::string& password, std::string& error)
{
    ::DeleteFileW(archive.c_str());
    zip_error_t openError;
    zip_error_init(&openError);
    zip_source_t* target = zip_source_win32w_create(archive.c_str(), 0, -1, &openError);
    ZipArchive zip(target ? zip_open_from_source(target, ZIP_CREATE | ZIP_TRUNCATE, &openError) : nullptr);
    if (!zip) {
        if (target)
            zip_source_free(target);
        error = "cannot create " + win::toUtf8(archive) + ": " + zip_error_strerror(&openError);
        zip_error_fini(&openError);
        return false;
    }
    zip_error_fini(&openError);

    PackageWriter writer(zip.get(), encryption, password);
    if (!writer.addFolder(folder, "", error))
        return false;
    if (zip_close(zip.get()) < 0) {
        error = "cannot write " + win::toUtf8(archive) + ": " + zip_strerror(zip.get());
        return false;
    }
    zip.release(); // zip_close freed it
    return true;
}
