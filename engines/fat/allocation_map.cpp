#include "engines/fat/allocation_map.h"

#include <algorithm>

void CAllocationMap::Reset(uint32_t clusters) {
  clusters_ = clusters;
  bits_.assign((static_cast<size_t>(clusters) + 7) / 8, 0);
}

void CAllocationMap::MarkAllocated(uint32_t cluster) {
  if (cluster < 2 || cluster - 2 >= clusters_) return;
  const uint32_t index = cluster - 2;
  bits_[index / 8] = static_cast<uint8_t>(bits_[index / 8] | (1u << (index % 8)));
}

bool CAllocationMap::IsAllocated(uint32_t cluster) const {
  return cluster >= 2 && cluster - 2 < clusters_ && BitSet(cluster - 2);
}

uint64_t CAllocationMap::FindBit(uint64_t from, bool allocated) const {
  const uint8_t skip = allocated ? 0x00 : 0xFF;  // whole bytes without the wanted bit
  uint64_t index = from;
  while (index < clusters_) {
    if (index % 8 == 0 && bits_[index / 8] == skip) {
      index += 8;
      continue;
    }
    if (BitSet(index) == allocated) return index;
    ++index;
  }
  return clusters_;
}

void CAllocationMap::NextFreeExtent(uint64_t* sector, uint64_t* count, uint64_t dataAreaStart,
                                    uint32_t sectorsPerCluster, uint64_t volumeSectors) const {
  *count = 0;
  if (*sector > volumeSectors) {
    *sector = volumeSectors;
    return;
  }
  uint64_t relative = *sector < dataAreaStart ? 0 : *sector - dataAreaStart;
  const uint64_t cluster = relative / sectorsPerCluster;
  if (cluster >= clusters_) {
    *sector = relative + dataAreaStart;
    return;
  }
  const uint64_t freeCluster = FindBit(cluster, false);
  if (freeCluster >= clusters_) {
    *sector = relative + dataAreaStart;
    return;
  }
  if (freeCluster > cluster) relative = freeCluster * sectorsPerCluster;
  const uint64_t runEnd = FindBit(freeCluster, true);
  uint64_t free = runEnd * sectorsPerCluster - relative;
  const uint64_t absolute = relative + dataAreaStart;
  free = absolute >= volumeSectors ? 0 : std::min(free, volumeSectors - absolute);
  *sector = absolute;
  *count = free;
}
