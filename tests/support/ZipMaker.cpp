#include "tests/support/ZipMaker.h"

#include <zip.h>

#include <stdexcept>

namespace {

zip_uint16_t methodOf(ZipCipher cipher)
{
    switch (cipher) {
    case ZipCipher::pkware: return ZIP_EM_TRAD_PKWARE;
    case ZipCipher::aes128: return ZIP_EM_AES_128;
    case ZipCipher::aes192: return ZIP_EM_AES_192;
    case ZipCipher::aes256: return ZIP_EM_AES_256;
    case ZipCipher::none: break;
    }
    return ZIP_EM_NONE;
}

void check(bool ok, zip_t* archive, const char* what)
{
    if (!ok) {
        const std::string reason = zip_strerror(archive);
        zip_discard(archive);
        throw std::runtime_error(std::string(what) + ": " + reason);
    }
}

} // namespace

void makeZip(const std::filesystem::path& file, const std::vector<ZipMakerEntry>& entries, const std::string& password)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = zip_source_win32w_create(file.c_str(), 0, -1, &error);
    zip_t* archive = target ? zip_open_from_source(target, ZIP_CREATE | ZIP_TRUNCATE, &error) : nullptr;
    if (!archive) {
        if (target)
            zip_source_free(target);
        const std::string reason = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw std::runtime_error("zip_open: " + reason);
    }
    zip_error_fini(&error);
    for (const ZipMakerEntry& entry : entries) {
        zip_int64_t index = -1;
        if (!entry.name.empty() && entry.name.back() == '/') {
            index = zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_UTF_8);
            check(index >= 0, archive, "zip_dir_add");
        } else {
            zip_source_t* data = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
            check(data != nullptr, archive, "zip_source_buffer");
            index = zip_file_add(archive, entry.name.c_str(), data, ZIP_FL_ENC_UTF_8);
            if (index < 0)
                zip_source_free(data);
            check(index >= 0, archive, "zip_file_add");
            const auto i = static_cast<zip_uint64_t>(index);
            check(zip_set_file_compression(archive, i, entry.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0) == 0,
                  archive, "zip_set_file_compression");
            if (entry.cipher != ZipCipher::none)
                check(zip_file_set_encryption(archive, i, methodOf(entry.cipher), password.c_str()) == 0, archive,
                      "zip_file_set_encryption");
        }
        check(zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_DOS,
                                               entry.dosAttributes) == 0,
              archive, "zip_file_set_external_attributes");
    }
    check(zip_close(archive) == 0, archive, "zip_close");
}
