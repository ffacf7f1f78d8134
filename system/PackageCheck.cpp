#include "system/PackageCheck.h"

#include "system/Resource.h"

#include <string_view>

TPackageCheck::TPackageCheck()
{
    const auto bytes = ownResourceBytes(kPackageKeyResource, kFileResourceType);
    hasKey_ = ownResourceExists(kPackageKeyResource, kFileResourceType);
    keyRead_ = hasKey_ && signing::parsePublicKey(
                              std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), key_);
}

void TPackageCheck::update(const void* data, size_t size)
{
    if (hasKey_)
        digest_.update(data, size);
}

bool TPackageCheck::passed()
{
    if (!passed_) {
        passed_ = !hasKey_ || (keyRead_ && signing::verifyPackage(digest_, key_).verdict == signing::Verdict::Valid);
        if (hasKey_ && *passed_)
            checked_ = digest_.size();
    }
    return *passed_;
}
