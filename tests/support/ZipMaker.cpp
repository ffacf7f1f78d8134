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

std::string zipDeclaring(int count, uint32_t size)
{
    auto put = [](std::string& out, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    // An empty deflate stream: one final stored block of no bytes.
    const std::string data("\x03\x00", 2);
    std::string local, central;
    for (int i = 0; i < count; ++i) {
        const std::string name = "f" + std::to_string(i);
        const auto offset = static_cast<uint32_t>(local.size());
        put(local, 0x04034b50, 4);
        put(local, 20, 2);                      // version needed
        put(local, 0, 2);                       // flags
        put(local, 8, 2);                       // deflated
        put(local, 0, 4);                       // time and date
        put(local, 0, 4);                       // CRC
        put(local, static_cast<uint32_t>(data.size()), 4);
        put(local, size, 4);
        put(local, static_cast<uint32_t>(name.size()), 2);
        put(local, 0, 2);                       // extra field
        local += name + data;
        put(central, 0x02014b50, 4);
        put(central, 20, 2);                    // made by
        put(central, 20, 2);
        put(central, 0, 2);
        put(central, 8, 2);
        put(central, 0, 4);
        put(central, 0, 4);
        put(central, static_cast<uint32_t>(data.size()), 4);
        put(central, size, 4);
        put(central, static_cast<uint32_t>(name.size()), 2);
        put(central, 0, 2);                     // extra field
        put(central, 0, 2);                     // comment
        put(central, 0, 2);                     // disk
        put(central, 0, 2);                     // internal attributes
        put(central, 0, 4);                     // external attributes
        put(central, offset, 4);
        central += name;
    }
    std::string end;
    put(end, 0x06054b50, 4);
    put(end, 0, 4);                             // disks
    put(end, static_cast<uint32_t>(count), 2);
    put(end, static_cast<uint32_t>(count), 2);
    put(end, static_cast<uint32_t>(central.size()), 4);
    put(end, static_cast<uint32_t>(local.size()), 4);
    put(end, 0, 2);                             // comment
    return local + central + end;
}
