#include "engines/ntfs/ntfs_bitmap.h"

namespace {

bool ClusterInUse(const AllocationBitmapView& bitmap, uint64_t cluster) {
  return (bitmap.bits[cluster / 8] >> (cluster % 8)) & 1;
}

// The first free cluster at or after `cluster`; false when none is left.
bool FirstFreeCluster(const AllocationBitmapView& bitmap, uint64_t* cluster) {
  uint64_t c = *cluster;
  const uint64_t end = bitmap.bytes * 8;
  while (c < end) {
    if (c % 8 == 0 && bitmap.bits[c / 8] == 0xFF) {
      c += 8;
      continue;
    }
    if (!ClusterInUse(bitmap, c)) {
      *cluster = c;
      return true;
    }
    ++c;
  }
  return false;
}

// The number of free clusters from `cluster` up to the next used one.
uint64_t FreeRunLength(const AllocationBitmapView& bitmap, uint64_t cluster) {
  uint64_t c = cluster;
  const uint64_t end = bitmap.bytes * 8;
  while (c < end) {
    if (c % 8 == 0 && bitmap.bits[c / 8] == 0x00) {
      c += 8;
      continue;
    }
    if (ClusterInUse(bitmap, c)) break;
    ++c;
  }
  return c - cluster;
}

}  // namespace

void FindFreeExtent(const AllocationBitmapView& bitmap, uint64_t* position, uint64_t* count) {
  *count = 0;
  if (*position > bitmap.volumeSectors) {
    *position = bitmap.volumeSectors;
    return;
  }
  const uint64_t spc = bitmap.sectorsPerCluster == 0 ? 1 : bitmap.sectorsPerCluster;
  uint64_t cluster = *position / spc;
  if (cluster / 8 < bitmap.bytes && FirstFreeCluster(bitmap, &cluster)) {
    *position = cluster * spc;
    *count = FreeRunLength(bitmap, cluster) * spc;
  }
  if (*position >= bitmap.volumeSectors) {
    *count = 0;
  } else if (*count > bitmap.volumeSectors - *position) {
    *count = bitmap.volumeSectors - *position;
  }
}
