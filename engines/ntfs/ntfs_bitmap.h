// The walk over the free clusters of a volume's allocation bitmap (bit c of
// byte c / 8, least significant first, set when cluster c is in use).
#pragma once

#include <cstdint>

struct AllocationBitmapView {
  const uint8_t* bits = nullptr;
  uint64_t bytes = 0;
  uint64_t sectorsPerCluster = 1;
  uint64_t volumeSectors = 0;
};

// Moves *position (sectors from the volume's start) to the first sector of
// the next free cluster at or after its cluster and sets *count to the
// length of that free run in sectors, cut at the volume's end. A full bitmap
// leaves *position where it was with *count 0; a position past the bitmap or
// the volume gives 0 as well. All counts are 64-bit.
void FindFreeExtent(const AllocationBitmapView& bitmap, uint64_t* position, uint64_t* count);
