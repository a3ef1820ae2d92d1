// Built with Z_PREFIX and third_party/zlib first on the include path (tests/CMakeLists.txt).
#include "vendored_inflate.h"

#include <zlib.h>

#include <cstring>

namespace zv::test {

std::string VendoredInflate(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) return "init";
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = uInt(size);
    uint8_t piece[4096];
    int rc;
    do {
        z.next_out = piece;
        z.avail_out = sizeof piece;
        rc = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), piece, piece + (sizeof piece - z.avail_out));
    } while (rc == Z_OK);
    inflateEnd(&z);
    if (rc == Z_STREAM_END) return "";
    return rc == Z_BUF_ERROR ? "buffer error" : zError(rc);
}

}  // namespace zv::test
