// The two entry checksums: CRC-32 (zlib's convention: start from 0, pass the running value back
// in) for RAR 1.5-3.x archives, and the rotating 16-bit sum of RAR 1.4 archives.
#pragma once
#include <cstddef>
#include <cstdint>

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size);
// Copies `size` bytes to `destination` and returns the CRC-32 updated over them, in one pass.
uint32_t Crc32Copy(uint32_t crc, uint8_t* destination, const uint8_t* data, size_t size);
// The table-driven path alone (what Crc32 falls back to without carry-less multiplication).
uint32_t Crc32Portable(uint32_t crc, const uint8_t* data, size_t size);
uint16_t Sum16(uint16_t sum, const uint8_t* data, size_t size);
