// A window of up to 16 MiB over the first FAT, through which chain values
// are read without I/O while they lie in it.
#pragma once

#include <cstdint>
#include <vector>

#include "engines/fat/fat_volume.h"
#include "storage/sector_source.h"

constexpr uint32_t kFatWindowBytes = 16u << 20;

class CFatTable {
 public:
  // Binds the table to a source. `fatStart` is the FAT's first absolute
  // sector, `sourceEnd` the first absolute sector past what may be read
  // (both in the volume's sector size). Loads the window at FAT sector 0.
  void Attach(const SectorSource* source, const FatGeometry& geometry, uint64_t fatStart,
              uint64_t sourceEnd);

  // The entry of `cluster`, reduced to the FAT's width (12-bit packed entries
  // on FAT12). 87 for a cluster the FAT has no entry for, or the read error
  // when the window cannot be moved there.
  WinError GetFatEntry(uint32_t cluster, uint32_t* value);

  const FatGeometry& Geometry() const { return geometry_; }

 private:
  WinError LoadWindow(uint64_t fatSector);

  const SectorSource* source_ = nullptr;
  FatGeometry geometry_;
  uint64_t fatStart_ = 0;
  uint64_t sourceEnd_ = 0;
  std::vector<uint8_t> window_;
  uint64_t windowStartByte_ = 0;
  uint64_t windowBytes_ = 0;  // bytes of FAT data the window holds
};
