// zlib's inflate as the stub is built from it (third_party/zlib: NO_GZIP, -Os), with its symbols
// prefixed so that it links next to the system's zlib that the tests compress with.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zv::test {

// Inflates one zlib stream whole; returns zlib's text for a damaged one, "" when it ends well.
std::string VendoredInflate(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

}  // namespace zv::test
