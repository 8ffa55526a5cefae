#include "engines/boot_sector.h"

#include <cstring>

namespace {

uint8_t Byte(const uint8_t* data, size_t offset) { return data[offset]; }

uint16_t Le16(const uint8_t* data, size_t offset) {
  uint8_t bytes[2];
  std::memcpy(bytes, data + offset, sizeof bytes);
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t Le32(const uint8_t* data, size_t offset) {
  uint8_t bytes[4];
  std::memcpy(bytes, data + offset, sizeof bytes);
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

uint64_t Le64(const uint8_t* data, size_t offset) {
  return static_cast<uint64_t>(Le32(data, offset)) |
         (static_cast<uint64_t>(Le32(data, offset + 4)) << 32);
}

bool BytesEqual(const uint8_t* data, size_t offset, const char* text, size_t count) {
  return std::memcmp(data + offset, text, count) == 0;
}

bool HasBootSignature(const uint8_t* sector) {
  return Byte(sector, 0x1FE) == 0x55 && Byte(sector, 0x1FF) == 0xAA;
}

// 1, 2, 4, ... up to `largest`.
bool IsPowerOfTwoUpTo(uint32_t value, uint32_t largest) {
  return value != 0 && value <= largest && (value & (value - 1)) == 0;
}

// The sector sizes an NTFS boot sector may name (0 stands for 512). Larger
// values are refused: the record reads of the NTFS engines work in 8 KiB
// buffers and a sector bigger than that would overrun them.
bool IsAcceptedNtfsSectorSize(uint16_t bytesPerSector) {
  return bytesPerSector == 0 || bytesPerSector == 512 || bytesPerSector == 1024 ||
         bytesPerSector == 2048 || bytesPerSector == 4096;
}

bool BootSectorFits(size_t length) { return length >= kBootSectorBytes; }

}  // namespace

bool IsNtfsBootSector(const uint8_t* sector, size_t length) {
  if (sector == nullptr || !BootSectorFits(length)) return false;
  if (!BytesEqual(sector, 3, "NTFS    ", 8)) return false;
  if (!IsAcceptedNtfsSectorSize(Le16(sector, 0x0B))) return false;
  if (Le16(sector, 0x0E) != 0) return false;
  // 128 sectors per cluster is refused on purpose (the deep scan still
  // covers such a volume).
  if (!IsPowerOfTwoUpTo(Byte(sector, 0x0D), 64)) return false;
  if (Le64(sector, 0x28) == 0) return false;
  static const size_t kMustBeZero[] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x16,
                                       0x17, 0x20, 0x21, 0x22, 0x23};
  for (size_t offset : kMustBeZero) {
    if (Byte(sector, offset) != 0) return false;
  }
  return HasBootSignature(sector);
}

bool IsBitLockerVolume(const uint8_t* sector, size_t length) {
  if (sector == nullptr || !BootSectorFits(length)) return false;
  if (BytesEqual(sector, 3, "-FVE-FS-", 8)) return true;
  // The marker at 0x1E0: eight 0x78, nineteen 0xFF, then 00 1F 2C.
  size_t offset = 0x1E0;
  for (int i = 0; i < 8; ++i) {
    if (Byte(sector, offset++) != 0x78) return false;
  }
  for (int i = 0; i < 19; ++i) {
    if (Byte(sector, offset++) != 0xFF) return false;
  }
  return Byte(sector, offset) == 0x00 && Byte(sector, offset + 1) == 0x1F &&
         Byte(sector, offset + 2) == 0x2C;
}

bool IsFat12Or16Bpb(const uint8_t* sector, size_t length) {
  if (sector == nullptr || !BootSectorFits(length)) return false;
  return Byte(sector, 0x10) != 0 && (Le16(sector, 0x13) != 0 || Le32(sector, 0x20) != 0) &&
         IsPowerOfTwoUpTo(Byte(sector, 0x0D), 128) && Le16(sector, 0x16) >= 1 &&
         HasBootSignature(sector);
}

bool IsFat32Bpb(const uint8_t* sector, size_t length) {
  if (sector == nullptr || !BootSectorFits(length)) return false;
  return BytesEqual(sector, 0x52, "FAT32   ", 8) && Byte(sector, 0x10) != 0 &&
         Le32(sector, 0x20) != 0 && IsPowerOfTwoUpTo(Byte(sector, 0x0D), 128) &&
         Le32(sector, 0x24) != 0 && HasBootSignature(sector);
}

bool IsFatBootSector(const uint8_t* sector, size_t length) {
  if (sector == nullptr || !BootSectorFits(length)) return false;
  if (IsBitLockerVolume(sector, length)) return false;
  uint32_t sectorsPerFat = Le16(sector, 0x16);
  if (sectorsPerFat == 0) sectorsPerFat = Le32(sector, 0x24);
  uint32_t totalSectors = Le32(sector, 0x20);
  if (totalSectors == 0) totalSectors = Le16(sector, 0x13);
  const uint32_t bytesPerSector = Le16(sector, 0x0B);
  const uint32_t sectorsPerCluster = Byte(sector, 0x0D);
  if (bytesPerSector == 0 || bytesPerSector % 512 != 0 || sectorsPerCluster == 0) return false;
  const uint32_t rootDirSectors = (static_cast<uint32_t>(Le16(sector, 0x11)) * 32) / bytesPerSector;
  // Unsigned 32-bit arithmetic as the count is defined; a wrap only puts the
  // volume in the "too many clusters" range.
  const uint32_t clusters = (totalSectors - rootDirSectors -
                             static_cast<uint32_t>(Byte(sector, 0x10)) * sectorsPerFat -
                             Le16(sector, 0x0E)) /
                            sectorsPerCluster;
  if (clusters < 65525) {
    return IsFat12Or16Bpb(sector, length) || IsFat32Bpb(sector, length);
  }
  if (clusters < 268435440) {
    return IsFat32Bpb(sector, length) || IsFat12Or16Bpb(sector, length);
  }
  return false;
}

bool IsExtSuperblock(const uint8_t* superblock, size_t length) {
  if (superblock == nullptr || length < kExtSuperblockBytes) return false;
  if (Le16(superblock, 0x38) != 0xEF53) return false;
  const uint32_t inodesCount = Le32(superblock, 0x00);
  const uint32_t blocksCount = Le32(superblock, 0x04);
  const uint32_t firstDataBlock = Le32(superblock, 0x14);
  const uint32_t logBlockSize = Le32(superblock, 0x18);
  const uint32_t blocksPerGroup = Le32(superblock, 0x20);
  const uint32_t inodesPerGroup = Le32(superblock, 0x28);
  const uint32_t firstInode = Le32(superblock, 0x54);
  if (blocksCount == 0 || inodesCount == 0 || blocksPerGroup == 0 || inodesPerGroup == 0) {
    return false;
  }
  if (firstInode <= 2) return false;
  const uint32_t groupsByBlocks = (blocksCount - firstDataBlock - 1) / blocksPerGroup + 1;
  const uint32_t groupsByInodes = (inodesCount - 1) / inodesPerGroup + 1;
  if (groupsByBlocks != groupsByInodes) return false;
  // 1,024-byte blocks (log size 0) start the data at block 1, larger blocks
  // at block 0. The log size is compared, not shifted: a corrupt value would
  // make the shift undefined.
  const uint32_t expectedFirstDataBlock = logBlockSize == 0 ? 1 : 0;
  if (firstDataBlock != expectedFirstDataBlock) return false;
  return inodesCount > firstInode;
}

VolumeClass ClassifyVolume(const uint8_t* volumeStart, size_t length) {
  if (volumeStart == nullptr) return VolumeClass::Unrecognised;
  const size_t bootLength = length < kBootSectorBytes ? length : kBootSectorBytes;
  if (IsNtfsBootSector(volumeStart, bootLength)) return VolumeClass::Ntfs;
  if (IsFatBootSector(volumeStart, bootLength)) return VolumeClass::Fat;
  if (length > kExtSuperblockOffset &&
      IsExtSuperblock(volumeStart + kExtSuperblockOffset, length - kExtSuperblockOffset)) {
    return VolumeClass::Ext;
  }
  return VolumeClass::Unrecognised;
}

const char* VolumeClassName(VolumeClass volumeClass) {
  switch (volumeClass) {
    case VolumeClass::Ntfs:
      return "NTFS";
    case VolumeClass::Fat:
      return "FAT";
    case VolumeClass::Ext:
      return "ext";
    case VolumeClass::Unrecognised:
      break;
  }
  return "unrecognised";
}
