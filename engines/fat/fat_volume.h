// The layout of a FAT12/16/32 volume as its boot sector describes it, checked
// so that no later arithmetic divides by zero, wraps or allocates absurdly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32_errors.h"

enum class FatWidth { Fat12, Fat16, Fat32 };

// Clusters below this count are FAT12 (unless the volume is FAT32).
constexpr uint32_t kFat12ClusterLimit = 4085;

struct FatGeometry {
  uint32_t bytesPerSector = 512;
  uint32_t sectorsPerCluster = 1;
  uint32_t reservedSectors = 0;
  uint32_t fatCount = 0;
  uint32_t sectorsPerFat = 0;
  uint32_t rootEntryCount = 0;
  uint32_t rootDirSectors = 0;  // FAT12/16: ceil(root entries x 32 / bytes per sector)
  uint64_t totalSectors = 0;    // the boot sector's total (32-bit at 0x20, else 16-bit at 0x13)
  uint64_t dataAreaStart = 0;   // first data sector, counted from the volume's start
  uint32_t rootCluster = 0;     // FAT32 root directory cluster; 0 on FAT12/16
  uint32_t clusterCount = 0;    // data clusters 2 .. clusterCount + 1
  uint32_t mapClusterCount = 0; // clusters of the allocation map (a partial last one included)
  FatWidth width = FatWidth::Fat16;

  bool IsFat32() const { return width == FatWidth::Fat32; }
  uint32_t ClusterBytes() const { return sectorsPerCluster * bytesPerSector; }
  uint32_t LastCluster() const { return clusterCount + 1; }
  bool IsDataCluster(uint32_t cluster) const {
    return cluster >= 2 && cluster <= LastCluster();
  }
  // First sector of a data cluster, or of the FAT12/16 root for cluster 0,
  // counted from the volume's start.
  uint64_t ClusterSector(uint32_t cluster) const;
  uint64_t RootDirSector() const { return dataAreaStart - rootDirSectors; }
  // Values of a FAT entry (already reduced to the entry's width).
  bool IsEndOfChain(uint32_t value) const;
  bool IsBadCluster(uint32_t value) const;
  // The cluster a chain goes on to after a cluster whose entry is `value`;
  // 0 when the chain ends there (end mark, bad mark, free, or no cluster).
  uint32_t ChainSuccessor(uint32_t value) const;
  // Bytes of the FAT that entries for clusters 0 .. n - 1 need.
  uint64_t FatBytesFor(uint64_t entries) const;
};

// Reads the boot sector (at least 512 bytes). 13 (ERROR_INVALID_DATA) for a
// layout that cannot be used: sector size other than 512-4096, sectors per
// cluster not a power of two up to 128, no FAT, an empty FAT, no sectors.
WinError ParseFatBootSector(const uint8_t* boot, size_t size, FatGeometry* out);
