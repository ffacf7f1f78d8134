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
constexpr std::string_view kFormat1Start = "package-signature/1 key=";
constexpr std::string_view kFormat2Start = "package-signature/2 key=";
constexpr std::string_view kCommentApp = " app=";
constexpr std::string_view kCommentVersion = " ver=";
constexpr std::string_view kCommentSignature = " sig=";
constexpr size_t kVersionDigits = 5;
constexpr uint32_t kLargestVersionNumber = 99999;
constexpr size_t kVersionTextLength = 4 * kVersionDigits + 3;
constexpr std::string_view kEndRecordMagic = "PK\x05\x06";
constexpr size_t kCommentLengthField = 20;
constexpr char kHexDigits[] = "0123456789abcdef";

static_assert(kFormat1CommentLength ==
              kFormat1Start.size() + 2 * sizeof(KeyId) + kCommentSignature.size() + 2 * sizeof(Signature));
static_assert(kUnsignedCommentEnd == kCommentSignature.size() + 2 * sizeof(Signature));
static_assert(kFormat2CommentLength == kFormat2Start.size() + 2 * sizeof(KeyId) + kCommentApp.size() +
                                           2 * sizeof(AppId) + kCommentVersion.size() + kVersionTextLength +
                                           kUnsignedCommentEnd);

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

AppId appIdOf(std::string_view softIdUtf8)
{
    AppId id{};
    mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>(softIdUtf8.data()), softIdUtf8.size(), id.data(), 0);
    return id;
}

bool parseVersion(std::string_view text, PackageVersion& version)
{
    PackageVersion read{};
    size_t number = 0;
    for (size_t at = 0;; ++number) {
        const size_t dot = std::min(text.find('.', at), text.size());
        const std::string_view digits = text.substr(at, dot - at);
        if (number == read.size() || digits.empty() || digits.size() > kVersionDigits ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        for (const char c : digits)
            read[number] = read[number] * 10 + static_cast<uint32_t>(c - '0');
        if (dot == text.size())
            break;
        at = dot + 1;
    }
    version = read;
    return true;
}

std::string versionText(const PackageVersion& version)
{
    std::string text;
    for (const uint32_t number : version) {
        if (!text.empty())
            text += '.';
        text += std::to_string(number);
    }
    return text;
}

std::string signedCommentStart(const KeyId& id, const Binding& binding)
{
    std::string text = std::string(kFormat2Start) + keyIdText(id) + std::string(kCommentApp) +
                       hex(binding.app.data(), binding.app.size()) + std::string(kCommentVersion);
    for (size_t i = 0; i < binding.version.size(); ++i) {
        const std::string number = std::to_string(std::min(binding.version[i], kLargestVersionNumber));
        if (i != 0)
            text += '.';
        text.append(kVersionDigits - number.size(), '0');
        text += number;
    }
    return text;
}

std::string signatureComment(const KeyId& id, const Binding* binding, const Signature& signature)
{
    const std::string start = binding ? signedCommentStart(id, *binding) : std::string(kFormat1Start) + keyIdText(id);
    return start + std::string(kCommentSignature) + hex(signature.data(), signature.size());
}

bool parseSignatureComment(std::string_view comment, KeyId& id, Binding* binding, Signature& signature)
{
    const std::string_view start = binding ? kFormat2Start : kFormat1Start;
    const size_t length = binding ? kFormat2CommentLength : kFormat1CommentLength;
    if (comment.size() != length || !comment.starts_with(start) ||
        !unhex(comment.substr(start.size(), 2 * sizeof(KeyId)), id.data(), id.size()))
        return false;
    const std::string_view tail = comment.substr(length - kUnsignedCommentEnd);
    if (!tail.starts_with(kCommentSignature) ||
        !unhex(tail.substr(kCommentSignature.size()), signature.data(), signature.size()))
        return false;
    if (!binding)
        return true;
    const std::string_view middle = comment.substr(start.size() + 2 * sizeof(KeyId));
    const std::string_view versionField =
        middle.substr(kCommentApp.size() + 2 * sizeof(AppId) + kCommentVersion.size(), kVersionTextLength);
    // Exactly five digits per number, so that one package has one comment.
    for (size_t i = 0; i < versionField.size(); ++i)
        if ((i % (kVersionDigits + 1) == kVersionDigits) != (versionField[i] == '.'))
            return false;
    return middle.starts_with(kCommentApp) &&
           unhex(middle.substr(kCommentApp.size(), 2 * sizeof(AppId)), binding->app.data(), binding->app.size()) &&
           middle.substr(kCommentApp.size() + 2 * sizeof(AppId)).starts_with(kCommentVersion) &&
           parseVersion(versionField, binding->version);
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
    if (total <= kLongestComment) {
        pending_.append(bytes, size);
        return;
    }
    // Everything but the last kLongestComment bytes seen so far is signed
    // for sure: the held-back bytes first, then the new ones.
    const size_t signedBytes = total - kLongestComment;
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

Digest PackageDigest::finish(size_t signedHeldBack)
{
    hash(pending_.data(), std::min(signedHeldBack, pending_.size()));
    Digest digest{};
    mbedtls_sha256_finish_ret(&sha_->context, digest.data());
    return digest;
}

Verification verifyPackage(PackageDigest& digest, const PublicKey& key, const AppId* product)
{
    Verification result;
    // A copy: finishing hashes held-back bytes, which moves the end record.
    const std::string held = digest.heldBack();
    const auto endsWith = [&](size_t length, std::string_view start) {
        return held.size() >= length && std::string_view(held).substr(held.size() - length).starts_with(start);
    };
    result.format = endsWith(kFormat2CommentLength, kFormat2Start)   ? 2
                    : endsWith(kFormat1CommentLength, kFormat1Start) ? 1
                                                                     : 0;
    const size_t length = result.format == 2 ? kFormat2CommentLength : kFormat1CommentLength;
    const size_t before = held.size() >= length ? held.size() - length : 0;
    const std::string end = (digest.endRecord() + held.substr(0, before));
    const Digest signedDigest = digest.finish(result.format == 2 ? held.size() - kUnsignedCommentEnd : before);
    if (result.format == 0 || end.size() < kEndRecordLength)
        return result;
    Signature signature{};
    if (!parseSignatureComment(std::string_view(held).substr(before), result.signer,
                               result.format == 2 ? &result.binding : nullptr, signature)) {
        result.verdict = Verdict::Malformed;
        return result;
    }
    // The signature must be the archive's comment, not bytes that merely
    // end the file: the end record sits right before it and counts it.
    const std::string_view record = std::string_view(end).substr(end.size() - kEndRecordLength);
    const auto lengthField = static_cast<size_t>(static_cast<uint8_t>(record[kCommentLengthField]) |
                                                 static_cast<uint8_t>(record[kCommentLengthField + 1]) << 8);
    if (!record.starts_with(kEndRecordMagic) || lengthField != length)
        result.verdict = Verdict::Malformed;
    else if (result.signer != key.id)
        result.verdict = Verdict::OtherKey;
    else if (!verifySignature(key, signedDigest, signature))
        result.verdict = Verdict::Changed;
    else if (result.format == 2 && product && result.binding.app != *product)
        result.verdict = Verdict::OtherProduct;
    else
        result.verdict = Verdict::Valid;
    return result;
}

} // namespace signing
