// The check of the package the installer is about to extract against the
// vendor key that the build carries (the product folder's "package.pub",
// embedded as the resource "packagekey" of type "file").
#pragma once

#include "system/PackageSignature.h"

#include <cstdint>
#include <memory>
#include <optional>

inline constexpr wchar_t kPackageKeyResource[] = L"packagekey";

// Without a key every package passes unchecked, as before vendors had keys;
// a key that cannot be read fails every package. The bytes are hashed on a
// thread of the check's own, so that the download, or the writing of an
// embedded package, does not wait for the hash.
class TPackageCheck {
public:
    TPackageCheck();
    TPackageCheck(const TPackageCheck&) = delete;
    TPackageCheck& operator=(const TPackageCheck&) = delete;
    ~TPackageCheck();

    // Every byte of the package, in order, from one thread at a time (the
    // download worker's, then the caller's after the hand-off).
    void update(const void* data, size_t size);
    // Forgets the bytes given so far: the package comes again from its start.
    void restart();
    // After the last byte: true when the package may be extracted. The
    // answer is given once and kept.
    bool passed();
    // How many bytes a passed check covered; 0 when nothing was checked.
    uint64_t checkedSize() const { return checked_; }

private:
    class Hasher;

    bool keyRead_ = false;
    signing::PublicKey key_;
    // Only with a key.
    std::unique_ptr<Hasher> hasher_;
    // Bytes given to the hasher.
    uint64_t given_ = 0;
    uint64_t checked_ = 0;
    std::optional<bool> passed_;
};
