// A bitmap of allocated data clusters (bit c - 2 for cluster c, least
// significant bit first, 1 = allocated) and the search for free runs in it.
#pragma once

#include <cstdint>
#include <vector>

class CAllocationMap {
 public:
  // An all-free map of `clusters` clusters.
  void Reset(uint32_t clusters);
  void MarkAllocated(uint32_t cluster);
  bool IsAllocated(uint32_t cluster) const;
  uint32_t ClusterCount() const { return clusters_; }

  // Moves *sector (counted from the volume's start) to the first free sector
  // at or after it and sets *count to the free sectors from there, cut at
  // `volumeSectors`. A sector before the data area means its start; *count 0
  // means nothing free is left. Every scan stays inside the map.
  void NextFreeExtent(uint64_t* sector, uint64_t* count, uint64_t dataAreaStart,
                      uint32_t sectorsPerCluster, uint64_t volumeSectors) const;

 private:
  bool BitSet(uint64_t index) const { return (bits_[index / 8] >> (index % 8)) & 1; }
  // The first index at or after `from` whose bit equals `allocated`, or the
  // map's size.
  uint64_t FindBit(uint64_t from, bool allocated) const;

  std::vector<uint8_t> bits_;
  uint32_t clusters_ = 0;
};
