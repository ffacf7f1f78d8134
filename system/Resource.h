// Read-only access to the resources embedded in the running program.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// The type of every embedded file: configuration, package, artwork, designs' pictures.
inline constexpr wchar_t kFileResourceType[] = L"file";

// The bytes of the resource NAME of type TYPE in the program's own module
// (names and types compare without regard to letter case); empty when there
// is no such resource. The bytes live as long as the program.
std::span<const std::byte> ownResourceBytes(std::wstring_view name, std::wstring_view type);
bool ownResourceExists(std::wstring_view name, std::wstring_view type);
