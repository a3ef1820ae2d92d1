// Real cluster-size probe for the package reader's free-space figures.
#pragma once
#include <cstdint>
#include <string>

namespace zv {

// Sectors per cluster times bytes per sector of `root` ("C:\"); 0 when the drive cannot be queried.
uint64_t Win32ClusterSize(const std::string& root);

}  // namespace zv
