#include "carving/carve_context.h"

CarveContext& SharedCarveContext() {
  static CarveContext context;
  return context;
}

bool ReadContextSectors(const CarveContext& context, uint64_t first, uint32_t count,
                        uint8_t* buffer) {
  if (context.source == nullptr || count == 0 || context.sectorSize == 0) return false;
  if (first + count < first) return false;
  uint32_t sectorsRead = 0;
  const WinError result =
      ReadSectors(*context.source, buffer, first, count, context.sectorSize, &sectorsRead);
  return result == kErrorSuccess && sectorsRead == count;
}
