#include "engines/fat/fat_volume.h"

#include <algorithm>
#include <cstring>

#include "engines/fat/fat_bytes.h"

namespace {

bool IsPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

uint32_t EntryMask(FatWidth width) {
  switch (width) {
    case FatWidth::Fat12: return 0x0FFF;
    case FatWidth::Fat16: return 0xFFFF;
    case FatWidth::Fat32: return 0x0FFFFFFF;
  }
  return 0;
}

// How many clusters the FAT can describe, entries 0 and 1 excluded.
uint64_t FatCapacity(const FatGeometry& g) {
  const uint64_t bits = static_cast<uint64_t>(g.sectorsPerFat) * g.bytesPerSector * 8;
  const uint64_t perEntry = g.width == FatWidth::Fat12 ? 12 : g.width == FatWidth::Fat16 ? 16 : 32;
  const uint64_t entries = bits / perEntry;
  return entries > 2 ? entries - 2 : 0;
}

}  // namespace

uint64_t FatGeometry::ClusterSector(uint32_t cluster) const {
  if (cluster < 2) return RootDirSector();
  return static_cast<uint64_t>(cluster - 2) * sectorsPerCluster + dataAreaStart;
}

bool FatGeometry::IsEndOfChain(uint32_t value) const {
  return value >= (EntryMask(width) & ~7u);
}

bool FatGeometry::IsBadCluster(uint32_t value) const { return value == (EntryMask(width) & ~8u); }

uint32_t FatGeometry::ChainSuccessor(uint32_t value) const {
  if (IsEndOfChain(value) || IsBadCluster(value) || !IsDataCluster(value)) return 0;
  return value;
}

uint64_t FatGeometry::FatBytesFor(uint64_t entries) const {
  switch (width) {
    case FatWidth::Fat12: return entries + (entries + 1) / 2;
    case FatWidth::Fat16: return entries * 2;
    case FatWidth::Fat32: return entries * 4;
  }
  return 0;
}

WinError ParseFatBootSector(const uint8_t* boot, size_t size, FatGeometry* out) {
  if (size < 512) return kErrorInvalidData;
  FatGeometry g;
  g.bytesPerSector = ReadLe16(boot + 0x0B);
  g.sectorsPerCluster = boot[0x0D];
  g.reservedSectors = ReadLe16(boot + 0x0E);
  g.fatCount = boot[0x10];
  g.rootEntryCount = ReadLe16(boot + 0x11);
  const uint32_t sectorsPerFat16 = ReadLe16(boot + 0x16);
  const bool fat32 = std::memcmp(boot + 0x52, "FAT32   ", 8) == 0 || sectorsPerFat16 == 0;
  g.sectorsPerFat = sectorsPerFat16 != 0 ? sectorsPerFat16 : ReadLe32(boot + 0x24);
  g.totalSectors = ReadLe32(boot + 0x20);
  if (g.totalSectors == 0) g.totalSectors = ReadLe16(boot + 0x13);

  if (g.bytesPerSector < 512 || g.bytesPerSector > 4096 || !IsPowerOfTwo(g.bytesPerSector) ||
      !IsPowerOfTwo(g.sectorsPerCluster) || g.sectorsPerCluster > 128 || g.fatCount == 0 ||
      g.sectorsPerFat == 0 || g.totalSectors == 0) {
    return kErrorInvalidData;
  }
  if (fat32) {
    g.rootEntryCount = 0;
    g.rootCluster = ReadLe32(boot + 0x2C);
  }
  g.rootDirSectors = (g.rootEntryCount * 32 + g.bytesPerSector - 1) / g.bytesPerSector;
  g.dataAreaStart = static_cast<uint64_t>(g.reservedSectors) +
                    static_cast<uint64_t>(g.fatCount) * g.sectorsPerFat + g.rootDirSectors;

  const uint64_t dataSectors =
      g.totalSectors > g.dataAreaStart ? g.totalSectors - g.dataAreaStart : 0;
  const uint64_t wholeClusters = dataSectors / g.sectorsPerCluster;
  const uint64_t partial = dataSectors % g.sectorsPerCluster != 0 ? 1 : 0;
  g.width = fat32 ? FatWidth::Fat32
                  : wholeClusters < kFat12ClusterLimit ? FatWidth::Fat12 : FatWidth::Fat16;
  const uint64_t capacity = std::min<uint64_t>(FatCapacity(g), 0x0FFFFFF5);
  g.clusterCount = static_cast<uint32_t>(std::min(wholeClusters, capacity));
  g.mapClusterCount = static_cast<uint32_t>(std::min(wholeClusters + partial, capacity));
  *out = g;
  return kErrorSuccess;
}
