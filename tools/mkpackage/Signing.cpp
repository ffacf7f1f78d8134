#include "Signing.h"

#include "system/Encoding.h"
#include "system/Handles.h"

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/ecdsa.h>
#include <mbedtls/entropy.h>
#include <mbedtls/pk.h>
#include <mbedtls/sha256.h>
#include <nlohmann/json.hpp>
#include <zip.h>

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <string_view>
#include <vector>

namespace {

using signing::kEndRecordLength;

constexpr char kPrivateKeyNote[] =
    "Vendor package signing key (private). Keep it on the build machine; never ship it.\n";
constexpr char kPublicKeyNote[] = "Vendor package key ";
constexpr char kPublicKeyNoteEnd[] = ": put this file into the product folder as package.pub.\n";
constexpr char kDrbgPersonalisation[] = "mkpackage";
constexpr std::string_view kEndRecordMagic = "PK\x05\x06";
constexpr size_t kCommentLengthField = 20;
constexpr size_t kLongestComment = 0xFFFF;
constexpr DWORD kReadBlock = 1 << 20;
constexpr size_t kPemRoom = 4096;
// The private key's access list: read, write and delete for the user who
// made it, nobody else, nothing inherited from the folder. Wine turns it
// into a file mode with no bits for others (owner and group: 0640 with the
// usual umask).
constexpr wchar_t kOwnerOnlyPrefix[] = L"D:P(A;;FRFWSD;;;";
constexpr wchar_t kOwnerOnlySuffix[] = L")";
constexpr char kKeyExists[] = " exists already: keygen never replaces a key "
                              "(move it away to make a new pair)";
constexpr wchar_t kProductConfig[] = L"\\config.json";
constexpr char kSoftIdKey[] = "SoftId";

// The random generator every key operation here draws from.
class Random {
public:
    Random()
    {
        mbedtls_entropy_init(&entropy_);
        mbedtls_ctr_drbg_init(&drbg_);
        ready_ = mbedtls_ctr_drbg_seed(&drbg_, mbedtls_entropy_func, &entropy_,
                                       reinterpret_cast<const unsigned char*>(kDrbgPersonalisation),
                                       sizeof(kDrbgPersonalisation) - 1) == 0;
    }
    Random(const Random&) = delete;
    Random& operator=(const Random&) = delete;
    ~Random()
    {
        mbedtls_ctr_drbg_free(&drbg_);
        mbedtls_entropy_free(&entropy_);
    }
    bool ready() const { return ready_; }
    static int generate(void* self, unsigned char* output, size_t size)
    {
        return mbedtls_ctr_drbg_random(&static_cast<Random*>(self)->drbg_, output, size);
    }

private:
    mbedtls_entropy_context entropy_;
    mbedtls_ctr_drbg_context drbg_;
    bool ready_ = false;
};

class KeyPair {
public:
    KeyPair() { mbedtls_pk_init(&pk_); }
    KeyPair(const KeyPair&) = delete;
    KeyPair& operator=(const KeyPair&) = delete;
    ~KeyPair() { mbedtls_pk_free(&pk_); }
    mbedtls_pk_context* get() { return &pk_; }
    // The P-256 key inside, null for any other kind of key.
    mbedtls_ecp_keypair* p256() const
    {
        mbedtls_ecp_keypair* ec = mbedtls_pk_ec(pk_);
        return ec && ec->grp.id == MBEDTLS_ECP_DP_SECP256R1 ? ec : nullptr;
    }

private:
    mbedtls_pk_context pk_;
};

bool fail(const std::string& what, std::string& error)
{
    error = what;
    return false;
}

bool readWholeFile(const std::wstring& path, std::string& bytes)
{
    const win::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > (1 << 20))
        return false;
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
           read == bytes.size();
}

// A security descriptor that lets only the current user at the file.
win::LocalMemory ownerOnlySecurity()
{
    win::Handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return {};
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    wchar_t* sid = nullptr;
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size) ||
        !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid))
        return {};
    const win::LocalMemory sidText(sid);
    const std::wstring sddl = kOwnerOnlyPrefix + std::wstring(sid) + kOwnerOnlySuffix;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return {};
    return win::LocalMemory(descriptor);
}

bool fileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Creates PATH (never over an existing file) with BYTES; SECURITY, when
// given, is its access list.
bool writeNewFile(const std::wstring& path, const std::string& bytes, PSECURITY_DESCRIPTOR security = nullptr)
{
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), security, FALSE};
    win::FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, security ? &attributes : nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    const bool ok = file &&
                    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    if (file && !ok) {
        file.reset();
        ::DeleteFileW(path.c_str());
    }
    return ok;
}

bool readAt(HANDLE file, uint64_t offset, char* data, DWORD size)
{
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ::ReadFile(file, data, size, &read, nullptr) &&
           read == size;
}

std::array<uint8_t, 65> publicPoint(const mbedtls_ecp_keypair& key)
{
    std::array<uint8_t, 65> point{};
    size_t length = 0;
    mbedtls_ecp_point_write_binary(&key.grp, &key.Q, MBEDTLS_ECP_PF_UNCOMPRESSED, &length, point.data(), point.size());
    return point;
}

bool isReadableZip(const std::wstring& archive)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_win32w_create(archive.c_str(), 0, -1, &error);
    zip_t* zip = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
    if (zip)
        zip_discard(zip);
    else if (source)
        zip_source_free(source);
    zip_error_fini(&error);
    return zip != nullptr;
}

// The offset of the end record whose comment ends the file exactly: the
// first candidate, as zip readers take it. False when there is none.
bool findEndRecord(HANDLE file, uint64_t size, uint64_t& offset)
{
    if (size < kEndRecordLength)
        return false;
    const uint64_t window = std::min<uint64_t>(size, kEndRecordLength + kLongestComment);
    std::string tail(static_cast<size_t>(window), '\0');
    if (!readAt(file, size - window, tail.data(), static_cast<DWORD>(window)))
        return false;
    for (size_t at = tail.find(kEndRecordMagic); at != std::string::npos && at + kEndRecordLength <= tail.size();
         at = tail.find(kEndRecordMagic, at + 1)) {
        const size_t comment = static_cast<uint8_t>(tail[at + kCommentLengthField]) |
                               static_cast<uint8_t>(tail[at + kCommentLengthField + 1]) << 8;
        if (at + kEndRecordLength + comment == tail.size()) {
            offset = size - window + at;
            return true;
        }
    }
    return false;
}

} // namespace

bool makeKeyPair(const std::wstring& privateKeyFile, const std::wstring& publicKeyFile, std::string& error)
{
    Random random;
    KeyPair key;
    if (!random.ready() || mbedtls_pk_setup(key.get(), mbedtls_pk_info_from_type(MBEDTLS_PK_ECKEY)) != 0 ||
        mbedtls_ecp_gen_key(MBEDTLS_ECP_DP_SECP256R1, mbedtls_pk_ec(*key.get()), Random::generate, &random) != 0)
        return fail("cannot make a key", error);
    std::vector<unsigned char> privatePem(kPemRoom), publicPem(kPemRoom);
    if (mbedtls_pk_write_key_pem(key.get(), privatePem.data(), privatePem.size()) != 0 ||
        mbedtls_pk_write_pubkey_pem(key.get(), publicPem.data(), publicPem.size()) != 0)
        return fail("cannot write the key", error);
    const std::string id = signing::keyIdText(signing::keyIdOf(publicPoint(*key.p256())));
    const std::string publicNote = kPublicKeyNote + id + kPublicKeyNoteEnd;
    for (const std::wstring& file : {privateKeyFile, publicKeyFile})
        if (fileExists(file))
            return fail(win::toUtf8(file) + kKeyExists, error);
    const win::LocalMemory ownerOnly = ownerOnlySecurity();
    if (!ownerOnly)
        return fail("cannot make an access list for the current user alone", error);
    if (!writeNewFile(privateKeyFile, kPrivateKeyNote + std::string(reinterpret_cast<char*>(privatePem.data())),
                      ownerOnly.get()))
        return fail("cannot create " + win::toUtf8(privateKeyFile) + " (does it exist already?)", error);
    if (!writeNewFile(publicKeyFile, publicNote + reinterpret_cast<char*>(publicPem.data()))) {
        ::DeleteFileW(privateKeyFile.c_str());
        return fail("cannot create " + win::toUtf8(publicKeyFile) + " (does it exist already?)", error);
    }
    return true;
}

bool signPackage(const std::wstring& archive, const std::wstring& privateKeyFile, const signing::Binding* binding,
                 std::string& error)
{
    std::string pem;
    KeyPair key;
    Random random;
    if (!readWholeFile(privateKeyFile, pem))
        return fail("cannot read " + win::toUtf8(privateKeyFile), error);
    const int parsed = mbedtls_pk_parse_key(key.get(), reinterpret_cast<const unsigned char*>(pem.c_str()),
                                            pem.size() + 1, nullptr, 0);
    mbedtls_ecp_keypair* p256 = parsed == 0 ? key.p256() : nullptr;
    if (!p256)
        return fail(win::toUtf8(privateKeyFile) + " holds no P-256 private key", error);
    if (!random.ready())
        return fail("no random numbers", error);
    if (!isReadableZip(archive))
        return fail(win::toUtf8(archive) + " is not a readable zip archive", error);

    win::FileHandle file(::CreateFileW(archive.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    uint64_t end = 0;
    if (!file || !::GetFileSizeEx(file.get(), &size))
        return fail("cannot open " + win::toUtf8(archive), error);
    if (!findEndRecord(file.get(), static_cast<uint64_t>(size.QuadPart), end))
        return fail(win::toUtf8(archive) + " has bytes after its end record", error);

    signing::PublicKey publicKey;
    publicKey.point = publicPoint(*p256);
    publicKey.id = signing::keyIdOf(publicKey.point);
    // What the signature covers: everything up to the end record's comment
    // length, which becomes the signature's, and in format 2 the comment up
    // to its signature.
    const size_t commentLength = binding ? signing::kFormat2CommentLength : signing::kFormat1CommentLength;
    const char newLength[2] = {static_cast<char>(commentLength & 0xFF), static_cast<char>(commentLength >> 8)};
    const std::string commentStart = binding ? signing::signedCommentStart(publicKey.id, *binding) : "";
    mbedtls_sha256_context sha;
    mbedtls_sha256_init(&sha);
    mbedtls_sha256_starts_ret(&sha, 0);
    std::vector<char> block(kReadBlock);
    const uint64_t covered = end + kCommentLengthField;
    bool read = true;
    for (uint64_t at = 0; read && at < covered; at += kReadBlock) {
        const DWORD n = static_cast<DWORD>(std::min<uint64_t>(kReadBlock, covered - at));
        read = readAt(file.get(), at, block.data(), n);
        mbedtls_sha256_update_ret(&sha, reinterpret_cast<unsigned char*>(block.data()), n);
    }
    mbedtls_sha256_update_ret(&sha, reinterpret_cast<const unsigned char*>(newLength), sizeof(newLength));
    mbedtls_sha256_update_ret(&sha, reinterpret_cast<const unsigned char*>(commentStart.data()), commentStart.size());
    signing::Digest digest{};
    mbedtls_sha256_finish_ret(&sha, digest.data());
    mbedtls_sha256_free(&sha);
    if (!read)
        return fail("cannot read " + win::toUtf8(archive), error);

    signing::Signature signature{};
    mbedtls_mpi r, s;
    mbedtls_mpi_init(&r);
    mbedtls_mpi_init(&s);
    const size_t half = signature.size() / 2;
    const bool signedOk = mbedtls_ecdsa_sign_det_ext(&p256->grp, &r, &s, &p256->d, digest.data(), digest.size(),
                                                     MBEDTLS_MD_SHA256, Random::generate, &random) == 0 &&
                          mbedtls_mpi_write_binary(&r, signature.data(), half) == 0 &&
                          mbedtls_mpi_write_binary(&s, signature.data() + half, half) == 0;
    mbedtls_mpi_free(&s);
    mbedtls_mpi_free(&r);
    if (!signedOk || !signing::verifySignature(publicKey, digest, signature))
        return fail("cannot sign", error);

    const std::string tail =
        std::string(newLength, sizeof(newLength)) + signing::signatureComment(publicKey.id, binding, signature);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(covered);
    DWORD written = 0;
    if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) ||
        !::WriteFile(file.get(), tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr) ||
        written != tail.size() || !::SetEndOfFile(file.get()))
        return fail("cannot write " + win::toUtf8(archive), error);
    return true;
}

bool readProductSoftId(const std::wstring& productFolder, std::string& softId, std::string& error)
{
    const std::wstring file = productFolder + kProductConfig;
    std::string text;
    if (!readWholeFile(file, text))
        return fail("cannot read " + win::toUtf8(file), error);
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    const auto found = json.is_object() ? json.find(kSoftIdKey) : json.end();
    if (found == json.end() || !found->is_string() || found->get<std::string>().empty())
        return fail(win::toUtf8(file) + " names no SoftId", error);
    softId = found->get<std::string>();
    return true;
}

bool readPublicKeyFile(const std::wstring& file, signing::PublicKey& key, std::string& error)
{
    std::string pem;
    if (!readWholeFile(file, pem))
        return fail("cannot read " + win::toUtf8(file), error);
    if (!signing::parsePublicKey(pem, key))
        return fail(win::toUtf8(file) + " holds no P-256 public key", error);
    return true;
}

bool verifyPackageFile(const std::wstring& archive, const signing::PublicKey& key, const signing::AppId* product,
                       signing::Verification& result, std::string& error)
{
    const win::FileHandle file(::CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return fail("cannot open " + win::toUtf8(archive), error);
    signing::PackageDigest digest;
    std::vector<char> block(kReadBlock);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), block.data(), kReadBlock, &read, nullptr))
            return fail("cannot read " + win::toUtf8(archive), error);
        if (read == 0)
            break;
        digest.update(block.data(), read);
    }
    result = signing::verifyPackage(digest, key, product);
    return true;
}
