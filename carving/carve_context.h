// The state that the probes and the size rules share while one question is
// answered ("does a known file begin at this sector, and how long is it?").
// The two stream flags and the transport-stream extent list carry over from
// one question to the next, also across scans.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engines/engine_contract.h"
#include "storage/sector_source.h"

// Sectors [firstSector, lastSector] of a transport stream already carved.
struct TransportStreamExtent {
  uint64_t firstSector = 0;
  uint64_t lastSector = 0;
};

struct CarveContext {
  uint32_t sectorSize = 512;
  const SectorSource* source = nullptr;
  uint64_t startSector = 0;    // absolute first sector of the would-be file
  uint64_t runningSector = 0;  // starts at startSector, moved on by size rules

  // Progress state handed in by the deep scan.
  uint64_t sectorsDone = 0;
  uint64_t sectorsTotal = 0;
  int32_t secondsLeft = -1;
  uint64_t filesFound = 0;
  ScanProgressFn progress = nullptr;
  void* progressUserData = nullptr;
  int32_t progressWeight = 0;
  int32_t lastProgressResult = 0;

  // 0 after an identification that found a carvable type other than a
  // transport stream, and while a content check runs; 1 otherwise.
  uint32_t streamContinuation = 0;
  // 1 after an identification that carved an AVCHD stream, else 0.
  uint32_t avchdCarved = 0;
  std::vector<TransportStreamExtent> transportStreamExtents;

  // Sets the sector fields for a new question about `sector`.
  void BeginQuestion(uint32_t newSectorSize, const SectorSource* newSource, uint64_t sector) {
    sectorSize = newSectorSize;
    source = newSource;
    startSector = sector;
    runningSector = sector;
  }
};

// The one context of the process that the carver and the file-system
// engines' content checks share. Only one thread may use it at a time.
CarveContext& SharedCarveContext();

// Reads `count` whole sectors from `first` of the context's source into
// `buffer` (count x sectorSize bytes). False when there is no source, the
// range wraps or passes the source's end, or fewer sectors arrive.
bool ReadContextSectors(const CarveContext& context, uint64_t first, uint32_t count,
                        uint8_t* buffer);
