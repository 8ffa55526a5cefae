#include "engines/recovery_job.h"

#include "engines/recovery_layout.h"
#include "engines/scoped_file.h"
#include "platform/platform.h"

namespace {

// State of one run, handed to the engine as the progress callback's user data.
struct RecoveryRun {
  IJobObserver* observer = nullptr;
  RecoveryJobResult result;
  const FoundEntry* entry = nullptr;  // the selected entry being restored
  uint32_t finishedInEntry = 0;       // files finished during the current Restore
};

uint64_t FileSizeOf(const std::u16string& path) {
  ScopedFile file;
  if (platform::OpenFile(path, platform::Access::Read, platform::Disposition::OpenExisting,
                         file.Receive()) != kErrorSuccess) {
    return 0;
  }
  uint64_t size = 0;
  return platform::GetFileSize(file.get(), &size) == kErrorSuccess ? size : 0;
}

void ReportProgress(RecoveryRun& run, int32_t percent, const char16_t* path) {
  JobProgress report;
  report.percent = percent;
  report.currentPath = path;
  report.filesDone = run.result.done;
  report.filesFailed = run.result.failed;
  report.filesTotal = run.result.total;
  run.observer->OnProgress(report);
}

void FinishFile(RecoveryRun& run, const std::u16string& path, WinError error) {
  ++run.result.done;
  ++run.finishedInEntry;
  if (error != kErrorSuccess) {
    ++run.result.failed;
  } else {
    run.result.bytes += FileSizeOf(path);
  }
  FileOutcome outcome;
  outcome.path = path;
  outcome.error = error;
  outcome.entry = run.entry;
  run.observer->OnFileOutcome(outcome);
}

int32_t VARNELLE_CALLBACK OnFileProgress(void* userData, int32_t progress, int32_t weight,
                                         int32_t errorCode, const char16_t* path) {
  RecoveryRun& run = *static_cast<RecoveryRun*>(userData);
  if (run.observer->IsCancelRequested()) return ScanCancelled;
  const int32_t percent = static_cast<int32_t>(static_cast<int64_t>(progress) * weight / 100);
  const std::u16string destination = path != nullptr ? path : u"";
  if (percent >= 100) FinishFile(run, destination, errorCode);
  ReportProgress(run, percent, destination.c_str());
  return 0;
}

// Restores one selected entry; false when the job is to stop (cancel).
bool RecoverEntry(RecoveryRun& run, const FoundEntry& entry, const EngineLookup& findEngine,
                  const std::u16string& root) {
  run.entry = &entry;
  run.finishedInEntry = 0;
  std::u16string destination;
  WinError placed = RecoveryDestination(root, entry, &destination);
  IFileRecoveryParse* engine = findEngine ? findEngine(entry) : nullptr;
  if (engine == nullptr) placed = kErrorInvalidParameter;
  if (placed == kErrorSuccess) placed = engine->SetCallbacks(nullptr, OnFileProgress, &run, 100);
  if (placed != kErrorSuccess) {
    FinishFile(run, destination, placed);
    return true;
  }
  const WinError restored =
      engine->Restore(&entry, destination.c_str(), CountSeparators(root));
  if (restored == ScanCancelled) return false;
  // A failure the engine returned without a final report (a destination
  // folder that cannot be created) still ends that entry as failed.
  if (run.finishedInEntry == 0 && restored != kErrorSuccess) {
    FinishFile(run, destination, restored);
  } else if (run.finishedInEntry == 0 && entry.isFolder == 0) {
    FinishFile(run, destination, kErrorSuccess);
  }
  return true;
}

}  // namespace

RecoveryJobResult RunRecoveryJob(const std::vector<FoundEntry>& selection,
                                 const EngineLookup& findEngine, const std::u16string& root,
                                 IJobObserver& observer) {
  RecoveryRun run;
  run.observer = &observer;
  run.result.total = static_cast<uint32_t>(selection.size());
  JobStage stage;
  stage.kind = JobKind::Recovery;
  stage.targetCount = selection.size();
  observer.OnStage(stage);
  for (const FoundEntry& entry : selection) {
    if (observer.IsCancelRequested() || !RecoverEntry(run, entry, findEngine, root)) {
      run.result.cancelled = true;
      break;
    }
  }
  return run.result;
}

RecoveryJobResult RunRecoveryJob(const std::vector<FoundEntry>& selection,
                                 const std::vector<ScanTarget*>& targets,
                                 const std::u16string& root, IJobObserver& observer) {
  const EngineLookup lookup = [&targets](const FoundEntry& entry) {
    return FindEngine(targets, entry.volumeTag);
  };
  return RunRecoveryJob(selection, lookup, root, observer);
}
