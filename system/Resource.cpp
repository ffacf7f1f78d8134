#include "Resource.h"

#include <windows.h>

#include <string>

namespace {

HRSRC findOwnResource(std::wstring_view name, std::wstring_view type)
{
    const std::wstring n(name), t(type);
    return ::FindResourceW(nullptr, n.c_str(), t.c_str());
}

} // namespace

std::span<const std::byte> ownResourceBytes(std::wstring_view name, std::wstring_view type)
{
    const HRSRC info = findOwnResource(name, type);
    if (!info)
        return {};
    const HGLOBAL data = ::LoadResource(nullptr, info);
    const void* bytes = data ? ::LockResource(data) : nullptr;
    if (!bytes)
        return {};
    return {static_cast<const std::byte*>(bytes), ::SizeofResource(nullptr, info)};
}

bool ownResourceExists(std::wstring_view name, std::wstring_view type)
{
    return findOwnResource(name, type) != nullptr;
}
