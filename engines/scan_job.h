// The scan job: scans a list of sources one after the other. For each source
// it asks the engine factory for an engine, hands it the job's progress
// handler, runs Scan and keeps the engine in the target for the search and the
// recovery that follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engines/engine_contract.h"
#include "engines/job_observer.h"

// One source to scan: a volume of a physical disk, or an image file (on Linux
// also a block device such as /dev/sdb1, which opens like an image file).
struct ScanTarget {
  bool isVolume = false;
  uint32_t diskNumber = 0;
  uint64_t firstSector = 0;
  uint64_t sectorCount = 0;
  std::u16string imagePath;  // empty for a volume
  // A volume's drive letter or number, an image's tag; every entry of the
  // target's engine carries it as volumeTag.
  uint16_t tag = 0;
  // The engine made by the last scan of this target, or none.
  std::unique_ptr<IFileRecoveryParse> engine;
};

// The stage report of a target (its kind, tag and image file name).
JobStage DescribeTarget(const ScanTarget& target, JobKind kind, size_t index, size_t count);

enum class ScanJobOutcome {
  Finished,   // every target was scanned (some scans may have ended in an error)
  Cancelled,  // a scan returned ScanCancelled; later targets were not touched
  NoEngine,   // the factory made no engine for `failedTarget`; later targets not touched
};

struct ScanJobResult {
  ScanJobOutcome outcome = ScanJobOutcome::Finished;
  size_t failedTarget = 0;
  // Scan's result for every target that was scanned, in order (0, an error
  // code, or ScanCancelled for the last one of a cancelled job).
  std::vector<WinError> scanResults;
};

// Scans `targets` in order. `deep` asks the factory for the composite deep
// engine instead of the volume's quick engine. Each target's previous engine
// is destroyed before its new one is made.
ScanJobResult RunScanJob(const std::vector<ScanTarget*>& targets, bool deep,
                         IJobObserver& observer);

// The job's ScanProgressFn; `userData` is the IJobObserver. Returns
// ScanCancelled when the observer asks to cancel, else reports and returns 0.
int32_t VARNELLE_CALLBACK OnScanProgress(void* userData, int32_t progress, int32_t weight,
                                         int32_t secondsLeft, uint64_t currentSector,
                                         uint64_t totalSectors, uint64_t filesFound,
                                         int32_t reserved);

// The engine of the target whose tag is `volumeTag`, or null (no such target,
// or its engine is gone).
IFileRecoveryParse* FindEngine(const std::vector<ScanTarget*>& targets, uint16_t volumeTag);
