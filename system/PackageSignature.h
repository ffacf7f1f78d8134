// Vendor signatures of program packages.
//
// A signed package is a zip archive whose archive comment is one line of
// fixed length:
//   package-signature/1 key=<16 hex digits> sig=<128 hex digits>
// The key id is the start of SHA-256 over the vendor's public key point; the
// signature is ECDSA over P-256 (r and s, 32 bytes each) of SHA-256 over
// every byte of the file before the comment, which takes in the end record of
// the central directory with its comment length. As the comment's length is
// fixed, a reader knows where the signed bytes end before it has seen them
// all: it hashes while the file arrives, holding back only the last
// kSignatureCommentLength bytes. Every zip reader still opens the package.
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
inline constexpr size_t kSignatureCommentLength = 173;

using KeyId = std::array<uint8_t, 8>;
using Digest = std::array<uint8_t, 32>;
using Signature = std::array<uint8_t, 64>;

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

// The archive comment that carries SIGNATURE by the key ID, and back. The
// reading is strict: exactly this length, lower-case hexadecimal digits.
std::string signatureComment(const KeyId& id, const Signature& signature);
bool parseSignatureComment(std::string_view comment, KeyId& id, Signature& signature);

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
    // After the last byte: the digest of all but the held-back bytes.
    Digest finish();
    // The last kSignatureCommentLength bytes (fewer in a shorter file) and
    // the kEndRecordLength bytes before them.
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
};

struct Verification {
    Verdict verdict = Verdict::NotSigned;
    // The key the package names, for OtherKey, Changed and Valid.
    KeyId signer{};
};

// Finishes DIGEST, fed with every byte of the package, and checks it
// against KEY.
Verification verifyPackage(PackageDigest& digest, const PublicKey& key);

} // namespace signing
