// Post-link fix-up of the stub template: the package reader looks for "PE" at the fixed file
// offset 256 and keeps ImageEnd in bytes 248..255 of the DOS header area, but GNU ld places the
// NT headers at 0x80. This moves them (with the section table) to 0x100.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "package/package_layout.h"

namespace zv {

// Where the package reader looks for "PE"; ImageEnd lies in the 8 bytes before it.
constexpr uint32_t kPeHeaderOffset = uint32_t(kPeMarkOffset);
static_assert(kImageEndHighOffset + 8 == kPeMarkOffset, "ImageEnd must end where PE begins");

// Moves the NT headers and the section table of a PE image to kPeHeaderOffset, zeroes every byte
// between the DOS stub and the new headers and behind them up to their old end, sets e_lfanew,
// and refreshes the PE checksum when the linker had set one. An image whose headers already sit
// at kPeHeaderOffset is left as it is: bytes 248..255 may then hold a packaged ImageEnd.
// Returns false with a message in *error, and leaves image untouched, when the file is not a PE
// image, is cut short, is signed, or when the headers would not fit before SizeOfHeaders.
bool RelocatePeHeaders(std::vector<uint8_t>& image, std::string* error);

// The PE checksum (16-bit one's-complement style sum of the file with the CheckSum field taken as
// zero, plus the file length), as linkers write it into the optional header.
// checksumOffset is the file offset of the CheckSum field.
uint32_t PeChecksum(const std::vector<uint8_t>& image, size_t checksumOffset);

}  // namespace zv
