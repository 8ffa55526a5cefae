// Recognition of a volume's file system from its first 16 KiB: the NTFS and
// FAT boot-sector tests, the BitLocker marker and the ext superblock test.
// Every test takes a pointer and a length and never reads beyond the length;
// a buffer too short for the fields a test reads fails that test.
#pragma once

#include <cstddef>
#include <cstdint>

// The factories read this many bytes at the volume's start to classify it.
constexpr size_t kClassifyBytes = 16384;
constexpr size_t kBootSectorBytes = 512;
// The ext superblock starts 1,024 bytes into the volume and is 1,024 bytes.
constexpr size_t kExtSuperblockOffset = 1024;
constexpr size_t kExtSuperblockBytes = 1024;

// `sector` = the volume's first 512 bytes.
bool IsNtfsBootSector(const uint8_t* sector, size_t length);
bool IsFatBootSector(const uint8_t* sector, size_t length);
bool IsFat12Or16Bpb(const uint8_t* sector, size_t length);
bool IsFat32Bpb(const uint8_t* sector, size_t length);
bool IsBitLockerVolume(const uint8_t* sector, size_t length);
// `superblock` = the bytes from offset 1,024 of the volume.
bool IsExtSuperblock(const uint8_t* superblock, size_t length);

enum class VolumeClass { Ntfs, Fat, Ext, Unrecognised };

// Classifies a volume from its first bytes (normally kClassifyBytes), first
// test winning: NTFS, then FAT, then ext, else unrecognised.
VolumeClass ClassifyVolume(const uint8_t* volumeStart, size_t length);

// "NTFS", "FAT", "ext" or "unrecognised".
const char* VolumeClassName(VolumeClass volumeClass);
