#include "engines/scan_job.h"

#include "engines/engine_factory.h"
#include "scanlog/scan_history.h"

namespace {

std::u16string FileNamePart(const std::u16string& path) {
  const size_t cut = path.find_last_of(u"\\/");
  return cut == std::u16string::npos ? path : path.substr(cut + 1);
}

std::unique_ptr<IFileRecoveryParse> MakeEngine(const ScanTarget& target, bool deep) {
  if (target.isVolume) {
    return CreateDiskEngine(target.diskNumber, target.firstSector, target.sectorCount,
                            static_cast<char16_t>(target.tag), deep);
  }
  return CreateImageEngine(target.imagePath, target.tag, deep);
}

}  // namespace

JobStage DescribeTarget(const ScanTarget& target, JobKind kind, size_t index, size_t count) {
  JobStage stage;
  stage.kind = kind;
  stage.targetIndex = index;
  stage.targetCount = count;
  stage.isVolume = target.isVolume;
  stage.tag = target.tag;
  if (!target.isVolume) stage.imageName = FileNamePart(target.imagePath);
  return stage;
}

int32_t VARNELLE_CALLBACK OnScanProgress(void* userData, int32_t progress, int32_t weight,
                                         int32_t secondsLeft, uint64_t currentSector,
                                         uint64_t totalSectors, uint64_t filesFound,
                                         int32_t reserved) {
  (void)reserved;
  if (userData == nullptr) return 0;
  IJobObserver& observer = *static_cast<IJobObserver*>(userData);
  if (observer.IsCancelRequested()) return ScanCancelled;
  JobProgress report;
  report.percent = static_cast<int32_t>(static_cast<int64_t>(progress) * weight / 100);
  report.weight = weight;
  report.secondsLeft = secondsLeft;
  report.currentSector = currentSector;
  report.totalSectors = totalSectors;
  report.filesFound = filesFound;
  observer.OnProgress(report);
  return 0;
}

ScanJobResult RunScanJob(const std::vector<ScanTarget*>& targets, bool deep,
                         IJobObserver& observer) {
  ScanJobResult result;
  if (targets.empty()) return result;
  CScanHistory::EnsureUsedMarker();
  for (size_t i = 0; i < targets.size(); ++i) {
    ScanTarget& target = *targets[i];
    observer.OnStage(DescribeTarget(target, JobKind::Scan, i, targets.size()));
    target.engine.reset();
    target.engine = MakeEngine(target, deep);
    if (!target.engine) {
      result.outcome = ScanJobOutcome::NoEngine;
      result.failedTarget = i;
      return result;
    }
    target.engine->SetCallbacks(OnScanProgress, nullptr, &observer, 100);
    const WinError scanned = target.engine->Scan(nullptr);
    result.scanResults.push_back(scanned);
    if (scanned == ScanCancelled) {
      result.outcome = ScanJobOutcome::Cancelled;
      return result;
    }
  }
  return result;
}

IFileRecoveryParse* FindEngine(const std::vector<ScanTarget*>& targets, uint16_t volumeTag) {
  for (ScanTarget* target : targets) {
    if (target != nullptr && target->tag == volumeTag) return target->engine.get();
  }
  return nullptr;
}
