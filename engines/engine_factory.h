// The two factories that classify a source by its first 16 KiB and make the
// engine for it, and the same classification on its own for reports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engines/boot_sector.h"
#include "engines/engine_contract.h"

// An opened engine for a partition or whole disk (deep = false: the quick
// engine of its file system; deep = true: the composite deep engine), or null
// when the disk cannot be opened, its first 16 KiB cannot be read in full, or
// no engine exists for that choice. The engine is returned even when its own
// open fails (its calls then fail).
std::unique_ptr<IFileRecoveryParse> CreateDiskEngine(uint32_t disk, uint64_t firstSector,
                                                     uint64_t sectorCount, char16_t driveLetter,
                                                     bool deep);
// The same for an image file (one volume whose boot sector is its first sector).
std::unique_ptr<IFileRecoveryParse> CreateImageEngine(const std::u16string& path, uint16_t tag,
                                                      bool deep);

// What a source holds.
struct SourceReport {
  VolumeClass volumeClass = VolumeClass::Unrecognised;
  uint32_t bytesPerSector = 512;
  uint64_t sizeBytes = 0;
  uint64_t sectorCount = 0;
};

// Classifies an image file the way CreateImageEngine does; sectors of 512
// bytes. 30 when fewer than 16 KiB can be read, or the open's error.
WinError ClassifyImage(const std::u16string& path, SourceReport* report);
// Classifies the volume at `firstSector` of disk N the way CreateDiskEngine
// does. `sectorCount` 0 means "to the end of the disk".
WinError ClassifyDisk(uint32_t disk, uint64_t firstSector, uint64_t sectorCount,
                      char16_t driveLetter, SourceReport* report);
