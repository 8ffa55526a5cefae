// The recovery job: copies every selected found file (or folder) out through
// the engine that found it, into the kind folder under the recovery root that
// the recovery layout gives, and counts what came back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engines/engine_contract.h"
#include "engines/job_observer.h"
#include "engines/scan_job.h"

// The engine that serves a selected entry (by its volumeTag), or null when
// that engine is gone.
using EngineLookup = std::function<IFileRecoveryParse*(const FoundEntry& entry)>;

struct RecoveryJobResult {
  uint32_t total = 0;   // entries selected
  uint32_t done = 0;    // files finished, with or without an error
  uint32_t failed = 0;  // files finished with an error
  uint64_t bytes = 0;   // bytes of the files recovered without an error
  bool cancelled = false;
};

// Restores `selection` in order below `root` (no trailing separator). Each
// finished file is reported through OnFileOutcome and counted; a file cut
// short by a cancel is counted neither done nor failed. An entry without an
// engine, or whose destination cannot be made safe, finishes with that error
// (87 without an engine) and the job goes on.
RecoveryJobResult RunRecoveryJob(const std::vector<FoundEntry>& selection,
                                 const EngineLookup& findEngine, const std::u16string& root,
                                 IJobObserver& observer);

// The same with the engines of scanned targets, found by volumeTag.
RecoveryJobResult RunRecoveryJob(const std::vector<FoundEntry>& selection,
                                 const std::vector<ScanTarget*>& targets,
                                 const std::u16string& root, IJobObserver& observer);
