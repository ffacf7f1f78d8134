#include "system/PackageSignature.h"

#include <mbedtls/base64.h>
#include <mbedtls/ecdsa.h>
#include <mbedtls/sha256.h>

#include <algorithm>
#include <vector>

namespace signing {

namespace {

constexpr std::string_view kPemBegin = "-----BEGIN PUBLIC KEY-----";
constexpr std::string_view kPemEnd = "-----END PUBLIC KEY-----";
// SubjectPublicKeyInfo of an uncompressed P-256 point up to the point itself:
// SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING { ... } }.
constexpr uint8_t kP256KeyInfoStart[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                         0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                         0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};
constexpr std::string_view kCommentStart = "package-signature/1 key=";
constexpr std::string_view kCommentSignature = " sig=";
constexpr std::string_view kEndRecordMagic = "PK\x05\x06";
constexpr size_t kCommentLengthField = 20;
constexpr char kHexDigits[] = "0123456789abcdef";

static_assert(kSignatureCommentLength ==
              kCommentStart.size() + 2 * sizeof(KeyId) + kCommentSignature.size() + 2 * sizeof(Signature));

std::string hex(const uint8_t* bytes, size_t size)
{
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += kHexDigits[bytes[i] >> 4];
        text += kHexDigits[bytes[i] & 15];
    }
    return text;
}

int hexValue(char c)
{
    const char* at = std::find(kHexDigits, kHexDigits + 16, c);
    return at == kHexDigits + 16 ? -1 : static_cast<int>(at - kHexDigits);
}

bool unhex(std::string_view text, uint8_t* bytes, size_t size)
{
    if (text.size() != 2 * size)
        return false;
    for (size_t i = 0; i < size; ++i) {
        const int high = hexValue(text[2 * i]), low = hexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

// The curve and the numbers of one check, freed on every path.
struct P256 {
    mbedtls_ecp_group group;
    mbedtls_ecp_point point;
    mbedtls_mpi r, s;
    P256()
    {
        mbedtls_ecp_group_init(&group);
        mbedtls_ecp_point_init(&point);
        mbedtls_mpi_init(&r);
        mbedtls_mpi_init(&s);
    }
    P256(const P256&) = delete;
    P256& operator=(const P256&) = delete;
    ~P256()
    {
        mbedtls_mpi_free(&s);
        mbedtls_mpi_free(&r);
        mbedtls_ecp_point_free(&point);
        mbedtls_ecp_group_free(&group);
    }
    bool loadPoint(const std::array<uint8_t, 65>& bytes)
    {
        return mbedtls_ecp_group_load(&group, MBEDTLS_ECP_DP_SECP256R1) == 0 &&
               mbedtls_ecp_point_read_binary(&group, &point, bytes.data(), bytes.size()) == 0 &&
               mbedtls_ecp_check_pubkey(&group, &point) == 0;
    }
};

} // namespace

struct PackageDigest::Sha256 {
    mbedtls_sha256_context context;
    Sha256()
    {
        mbedtls_sha256_init(&context);
        mbedtls_sha256_starts_ret(&context, 0);
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    ~Sha256() { mbedtls_sha256_free(&context); }
};

bool parsePublicKey(std::string_view pem, PublicKey& key)
{
    const size_t begin = pem.find(kPemBegin);
    const size_t end = begin == std::string_view::npos ? begin : pem.find(kPemEnd, begin);
    if (end == std::string_view::npos)
        return false;
    const std::string_view body = pem.substr(begin + kPemBegin.size(), end - begin - kPemBegin.size());
    std::vector<uint8_t> der(sizeof(kP256KeyInfoStart) + key.point.size());
    size_t length = 0;
    // Room for exactly one key: anything longer fails to decode.
    if (mbedtls_base64_decode(der.data(), der.size(), &length, reinterpret_cast<const unsigned char*>(body.data()),
                              body.size()) != 0 ||
        length != der.size() || !std::equal(std::begin(kP256KeyInfoStart), std::end(kP256KeyInfoStart), der.begin()))
        return false;
    PublicKey read;
    std::copy(der.begin() + sizeof(kP256KeyInfoStart), der.end(), read.point.begin());
    if (!P256().loadPoint(read.point))
        return false;
    read.id = keyIdOf(read.point);
    key = read;
    return true;
}

KeyId keyIdOf(const std::array<uint8_t, 65>& point)
{
    Digest digest{};
    mbedtls_sha256_ret(point.data(), point.size(), digest.data(), 0);
    KeyId id{};
    std::copy_n(digest.begin(), id.size(), id.begin());
    return id;
}

std::string keyIdText(const KeyId& id) { return hex(id.data(), id.size()); }

std::string signatureComment(const KeyId& id, const Signature& signature)
{
    return std::string(kCommentStart) + keyIdText(id) + std::string(kCommentSignature) +
           hex(signature.data(), signature.size());
}

bool parseSignatureComment(std::string_view comment, KeyId& id, Signature& signature)
{
    constexpr size_t keyAt = kCommentStart.size();
    constexpr size_t signatureAt = keyAt + 2 * sizeof(KeyId) + kCommentSignature.size();
    return comment.size() == kSignatureCommentLength && comment.starts_with(kCommentStart) &&
           comment.substr(signatureAt - kCommentSignature.size(), kCommentSignature.size()) == kCommentSignature &&
           unhex(comment.substr(keyAt, 2 * sizeof(KeyId)), id.data(), id.size()) &&
           unhex(comment.substr(signatureAt), signature.data(), signature.size());
}

bool verifySignature(const PublicKey& key, const Digest& digest, const Signature& signature)
{
    P256 check;
    const size_t half = signature.size() / 2;
    return check.loadPoint(key.point) && mbedtls_mpi_read_binary(&check.r, signature.data(), half) == 0 &&
           mbedtls_mpi_read_binary(&check.s, signature.data() + half, half) == 0 &&
           mbedtls_ecdsa_verify(&check.group, digest.data(), digest.size(), &check.point, &check.r, &check.s) == 0;
}

PackageDigest::PackageDigest() : sha_(std::make_unique<Sha256>()) {}

PackageDigest::~PackageDigest() = default;

void PackageDigest::update(const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    size_ += size;
    const size_t total = pending_.size() + size;
    if (total <= kSignatureCommentLength) {
        pending_.append(bytes, size);
        return;
    }
    // Everything but the last kSignatureCommentLength bytes seen so far is
    // signed for sure: the held-back bytes first, then the new ones.
    const size_t signedBytes = total - kSignatureCommentLength;
    const size_t fromPending = std::min(signedBytes, pending_.size());
    hash(pending_.data(), fromPending);
    const size_t fromNew = signedBytes - fromPending;
    hash(bytes, fromNew);
    pending_.erase(0, fromPending);
    pending_.append(bytes + fromNew, size - fromNew);
}

void PackageDigest::hash(const char* data, size_t size)
{
    if (size == 0)
        return;
    mbedtls_sha256_update_ret(&sha_->context, reinterpret_cast<const unsigned char*>(data), size);
    if (size >= kEndRecordLength) {
        lastHashed_.assign(data + size - kEndRecordLength, kEndRecordLength);
    } else {
        lastHashed_.append(data, size);
        if (lastHashed_.size() > kEndRecordLength)
            lastHashed_.erase(0, lastHashed_.size() - kEndRecordLength);
    }
}

Digest PackageDigest::finish()
{
    Digest digest{};
    mbedtls_sha256_finish_ret(&sha_->context, digest.data());
    return digest;
}

Verification verifyPackage(PackageDigest& digest, const PublicKey& key)
{
    Verification result;
    const Digest signedDigest = digest.finish();
    const std::string& comment = digest.heldBack();
    const std::string& end = digest.endRecord();
    if (comment.size() != kSignatureCommentLength || end.size() != kEndRecordLength ||
        !comment.starts_with(kCommentStart))
        return result;
    Signature signature{};
    if (!parseSignatureComment(comment, result.signer, signature)) {
        result.verdict = Verdict::Malformed;
        return result;
    }
    // The signature must be the archive's comment, not bytes that merely
    // end the file: the end record sits right before it and counts it.
    const auto lengthField = static_cast<size_t>(static_cast<uint8_t>(end[kCommentLengthField]) |
                                                 static_cast<uint8_t>(end[kCommentLengthField + 1]) << 8);
    if (!end.starts_with(kEndRecordMagic) || lengthField != kSignatureCommentLength)
        result.verdict = Verdict::Malformed;
    else if (result.signer != key.id)
        result.verdict = Verdict::OtherKey;
    else
        result.verdict = verifySignature(key, signedDigest, signature) ? Verdict::Valid : Verdict::Changed;
    return result;
}

} // namespace signing
