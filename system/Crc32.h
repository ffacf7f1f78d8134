// CRC-32 of zip entries (zlib's crc32()), several times faster on
// processors with carry-less multiplication.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC of DATA continuing from CRC (0 for the first block), as crc32() gives.
uint32_t crc32Update(uint32_t crc, const unsigned char* data, size_t size);
