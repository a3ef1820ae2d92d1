// zlib's inflate names crc32() for gzip streams only. The shipped programs inflate zlib streams
// (checked with adler32), so it never runs for them; zlib's own crc32() would bring 7 KB of
// tables along for nothing. Linked as a plain object, this one keeps zlib's out of the image and
// still gives the right value should a gzip stream ever be inflated.
#include <zlib.h>

#include "stub/runtime/bitwise_crc32.h"

extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
    return zv::BitwiseCrc32(uint32_t(crc), buf, len);
}
