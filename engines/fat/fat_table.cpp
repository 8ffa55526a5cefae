#include "engines/fat/fat_table.h"

#include <algorithm>

#include "engines/fat/fat_bytes.h"

void CFatTable::Attach(const SectorSource* source, const FatGeometry& geometry, uint64_t fatStart,
                       uint64_t sourceEnd) {
  source_ = source;
  geometry_ = geometry;
  fatStart_ = fatStart;
  sourceEnd_ = sourceEnd;
  windowBytes_ = 0;
  const uint64_t fatBytes = static_cast<uint64_t>(geometry.sectorsPerFat) * geometry.bytesPerSector;
  window_.assign(static_cast<size_t>(std::min<uint64_t>(kFatWindowBytes, fatBytes)), 0);
  LoadWindow(0);
}

WinError CFatTable::LoadWindow(uint64_t fatSector) {
  const uint32_t sectorBytes = geometry_.bytesPerSector;
  const uint64_t capacity = window_.size() / sectorBytes;
  const uint64_t inFat = fatSector < geometry_.sectorsPerFat ? geometry_.sectorsPerFat - fatSector : 0;
  const uint64_t first = fatStart_ + fatSector;
  const uint64_t inSource = first < sourceEnd_ ? sourceEnd_ - first : 0;
  const uint32_t count = static_cast<uint32_t>(std::min({capacity, inFat, inSource}));
  if (source_ == nullptr || count == 0) return kErrorReadFault;
  uint32_t got = 0;
  const WinError error = ReadSectors(*source_, window_.data(), first, count, sectorBytes, &got);
  if (got == 0) return error != kErrorSuccess ? error : kErrorReadFault;
  windowStartByte_ = fatSector * sectorBytes;
  windowBytes_ = static_cast<uint64_t>(got) * sectorBytes;
  return kErrorSuccess;
}

WinError CFatTable::GetFatEntry(uint32_t cluster, uint32_t* value) {
  const FatWidth width = geometry_.width;
  const uint64_t offset = width == FatWidth::Fat12   ? cluster + cluster / 2ull
                          : width == FatWidth::Fat16 ? cluster * 2ull
                                                     : cluster * 4ull;
  const uint64_t size = width == FatWidth::Fat32 ? 4 : 2;
  const uint64_t fatBytes = static_cast<uint64_t>(geometry_.sectorsPerFat) * geometry_.bytesPerSector;
  if (offset + size > fatBytes) return kErrorInvalidParameter;
  // The whole entry must lie in the window: a FAT12 entry can straddle two
  // sectors, so the window then starts at the sector of its first byte.
  if (offset < windowStartByte_ || offset + size > windowStartByte_ + windowBytes_) {
    const WinError error = LoadWindow(offset / geometry_.bytesPerSector);
    if (error != kErrorSuccess) return error;
    if (offset + size > windowStartByte_ + windowBytes_) return kErrorReadFault;
  }
  const uint8_t* p = window_.data() + (offset - windowStartByte_);
  switch (width) {
    case FatWidth::Fat12: {
      const uint16_t word = ReadLe16(p);
      *value = (cluster & 1) ? (word >> 4) : (word & 0x0FFF);
      break;
    }
    case FatWidth::Fat16: *value = ReadLe16(p); break;
    case FatWidth::Fat32: *value = ReadLe32(p) & 0x0FFFFFFF; break;
  }
  return kErrorSuccess;
}
