// The content check the FAT engine asks about a file's first data sector:
// 1 when the bytes agree with the type the extension names (or the type is
// not known), 0 when they do not.
#pragma once

#include <cstdint>

#include "storage/sector_source.h"

using ContentCheckFn = int32_t (*)(const uint8_t* sector, uint32_t bytes, const char* extension,
                                   const SectorSource* source, uint32_t sectorSize,
                                   uint64_t sectorNumber);

// The signature probes' answer (the default check of the FAT engines).
int32_t ProbeFileContent(const uint8_t* sector, uint32_t bytes, const char* extension,
                         const SectorSource* source, uint32_t sectorSize, uint64_t sectorNumber);
