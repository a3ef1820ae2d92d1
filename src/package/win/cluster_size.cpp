#include "package/win/cluster_size.h"

#include <windows.h>

namespace zv {

uint64_t Win32ClusterSize(const std::string& root) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters))
        return 0;
    return uint64_t(sectorsPerCluster) * bytesPerSector;
}

}  // namespace zv
