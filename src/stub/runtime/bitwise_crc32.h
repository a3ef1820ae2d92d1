// The CRC-32 of zlib's crc32() (the gzip and PNG one), computed a bit at a time: no tables.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zv {

inline uint32_t BitwiseCrc32(uint32_t crc, const uint8_t* data, size_t size) {
    if (!data) return 0;
    crc = ~crc;
    while (size--) {
        crc ^= *data++;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

}  // namespace zv
