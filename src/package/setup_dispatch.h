// Portable parts of the setup dispatcher: the web stub's agent copy of itself.
#pragma once
#include <cstdint>
#include <vector>

namespace zv {

// Turns the web stub's own file bytes into its auto-update agent copy: everything after
// ImageEnd goes (an Authenticode signature no longer matches once a byte changes), and the
// trailer's IsAgent byte becomes 1. The byte is found through the trailer itself, so a trailer of
// another length or a file without ImageEnd is marked in the right place. False, with the bytes
// unchanged, when they carry no package trailer to mark.
bool MakeWebStubAgentCopy(std::vector<uint8_t>& bytes);

}  // namespace zv
