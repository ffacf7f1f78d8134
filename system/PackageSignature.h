// Vendor signatures of program packages.
//
// A signed package is a zip archive whose archive comment is one line of
// fixed length, in one of two formats:
//   package-signature/2 key=<16 hex> app=<64 hex> ver=<5d>.<5d>.<5d>.<5d> sig=<128 hex>
//   package-signature/1 key=<16 hex> sig=<128 hex>
// (270 and 173 characters). The key id is the first 8 bytes of SHA-256 over
// the vendor's public key point (65 bytes, uncompressed); "app" is SHA-256
// over the product's SoftId in UTF-8; "ver" the package's version, four
// numbers of five decimal digits each; hexadecimal digits are lower case.
// The signature is ECDSA over P-256, r and s of 32 bytes each, of SHA-256
// over the signed bytes: in format 2 every byte of the file before " sig="
// (the archive, its end record with the comment's length, and the comment's
// key, app and ver), in format 1 every byte before the comment. As the
// comment's length is fixed, a reader knows where the signed bytes end
// before it has seen them all: it hashes while the file arrives, holding
// back only the last kLongestComment bytes. Every zip reader still opens the
// package.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace signing {

// The end record of the central directory, without comment.
inline constexpr size_t kEndRecordLength = 22;
inline constexpr size_t kFormat1CommentLength = 173;
inline constexpr size_t kFormat2CommentLength = 270;
inline constexpr size_t kLongestComment = kFormat2CommentLength;
// What ends a format 2 comment and is not signed: " sig=" and the signature.
inline constexpr size_t kUnsignedCommentEnd = 133;

using KeyId = std::array<uint8_t, 8>;
using Digest = std::array<uint8_t, 32>;
using Signature = std::array<uint8_t, 64>;
// SHA-256 of a SoftId in UTF-8.
using AppId = std::array<uint8_t, 32>;
// Up to four numbers of at most five digits; missing ones count as 0.
using PackageVersion = std::array<uint32_t, 4>;

AppId appIdOf(std::string_view softIdUtf8);
// "2", "2.0.1", "2.0.1.15"; false for anything else.
bool parseVersion(std::string_view text, PackageVersion& version);
// All four numbers, "2.0.1.0".
std::string versionText(const PackageVersion& version);

struct PublicKey {
    // Uncompressed point on P-256: 04, X, Y.
    std::array<uint8_t, 65> point{};
    KeyId id{};
};

// Reads the P-256 public key of a "-----BEGIN PUBLIC KEY-----" PEM block
// (SubjectPublicKeyInfo); text before and after the block is ignored, so a
// key file may carry a note for people. False for any other key or a point
// that is not on the curve.
bool parsePublicKey(std::string_view pem, PublicKey& key);
KeyId keyIdOf(const std::array<uint8_t, 65>& point);
std::string keyIdText(const KeyId& id);

// What a format 2 comment binds, and the comment up to " sig=": the end of
// the signed bytes.
struct Binding {
    AppId app{};
    PackageVersion version{};
};
std::string signedCommentStart(const KeyId& id, const Binding& binding);

// The archive comment that carries SIGNATURE by the key ID (with BINDING:
// format 2, without: format 1), and back. The reading is strict: exactly
// the format's length, lower-case hexadecimal digits, decimal versions.
std::string signatureComment(const KeyId& id, const Binding* binding, const Signature& signature);
bool parseSignatureComment(std::string_view comment, KeyId& id, Binding* binding, Signature& signature);

bool verifySignature(const PublicKey& key, const Digest& digest, const Signature& signature);

// SHA-256 of a package as its bytes go by, holding back the bytes that may
// be the signature comment. Not shared between threads at the same time.
class PackageDigest {
public:
    PackageDigest();
    PackageDigest(const PackageDigest&) = delete;
    PackageDigest& operator=(const PackageDigest&) = delete;
    ~PackageDigest();

    void update(const void* data, size_t size);
    uint64_t size() const { return size_; }
    // After the last byte: the digest of all but the held-back bytes, and
    // of the first SIGNEDHELDBACK of them.
    Digest finish(size_t signedHeldBack);
    // The last kLongestComment bytes (fewer in a shorter file) and the
    // kEndRecordLength bytes before them.
    const std::string& heldBack() const { return pending_; }
    const std::string& endRecord() const { return lastHashed_; }

private:
    void hash(const char* data, size_t size);

    struct Sha256;
    std::unique_ptr<Sha256> sha_;
    std::string pending_;
    std::string lastHashed_;
    uint64_t size_ = 0;
};

enum class Verdict {
    Valid,     // signed by the key, every byte as signed
    NotSigned, // the file does not end with a signature comment
    Malformed, // it does, but broken, or not as the archive's comment
    OtherKey,  // signed by another key
    Changed,   // signed by the key id, but the bytes are not what was signed
    OtherProduct, // signed by the key, every byte as signed, for another SoftId
};

struct Verification {
    Verdict verdict = Verdict::NotSigned;
    // The key the package names, for OtherKey, Changed, OtherProduct and Valid.
    KeyId signer{};
    // 1 or 2 once the comment could be read; the binding of format 2.
    int format = 0;
    Binding binding;
};

// Finishes DIGEST, fed with every byte of the package, and checks it
// against KEY and, for format 2, against PRODUCT (any product when null).
Verification verifyPackage(PackageDigest& digest, const PublicKey& key, const AppId* product);

} // namespace signing
