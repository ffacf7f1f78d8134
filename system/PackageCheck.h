// The check of the package the installer is about to extract against the
// vendor key that the build carries (the product folder's "package.pub",
// embedded as the resource "packagekey" of type "file") and the product's
// SoftId.
#pragma once

#include "system/PackageSignature.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

inline constexpr wchar_t kPackageKeyResource[] = L"packagekey";

// Which signed packages the product folder lets pass besides the signature
// ("package-policy.json", resource "packagepolicy").
struct TPackagePolicy {
    // The oldest version installed at all; none: any.
    std::optional<signing::PackageVersion> floor;
    // An older package than the installed one may replace it.
    bool allowDowngrade = false;
    // A package signed in format 1, which names neither product nor version.
    bool acceptFormat1 = false;
};

// Without a key every package passes unchecked (a build that opted out of
// signed packages); a key that cannot be read fails every package. The bytes are hashed on a
// thread of the check's own, so that the download, or the writing of an
// embedded package, does not wait for the hash.
class TPackageCheck {
public:
    explicit TPackageCheck(const std::wstring& softId);
    TPackageCheck(const TPackageCheck&) = delete;
    TPackageCheck& operator=(const TPackageCheck&) = delete;
    ~TPackageCheck();

    // Every byte of the package, in order, from one thread at a time (the
    // download worker's, then the caller's after the hand-off).
    void update(const void* data, size_t size);
    // Forgets the bytes given so far: the package comes again from its start.
    void restart();
    // After the last byte: true when the package is signed by the key and,
    // in format 2, for the SoftId. The answer is given once and kept.
    bool passed();
    // Whether the build carries a key at all.
    bool keyed() const { return hasher_ != nullptr; }
    // What the signature said, once passed() has answered (with a key).
    const signing::Verification& verification() const { return verification_; }
    // The bytes given since the last start.
    uint64_t size() const { return given_; }

private:
    class Hasher;

    bool keyRead_ = false;
    signing::PublicKey key_;
    signing::AppId product_;
    signing::Verification verification_;
    // Only with a key.
    std::unique_ptr<Hasher> hasher_;
    // Bytes given to the hasher.
    uint64_t given_ = 0;
    std::optional<bool> passed_;
};
