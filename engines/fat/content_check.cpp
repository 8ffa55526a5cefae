#include "engines/fat/content_check.h"

#include "carving/signature_table.h"

int32_t ProbeFileContent(const uint8_t* sector, uint32_t bytes, const char* extension,
                         const SectorSource* source, uint32_t sectorSize, uint64_t sectorNumber) {
  return static_cast<int32_t>(
      CheckFileContent(sector, bytes, extension, source, sectorSize, sectorNumber));
}
