#include "engines/fast_ext_recovery.h"

WinError CFastExtRecovery::OpenImage(const char16_t*, uint16_t) { return kErrorSuccess; }

WinError CFastExtRecovery::OpenDisk(uint32_t disk, uint64_t firstSector, uint64_t sectorCount,
                                    uint16_t) {
  firstSector_ = firstSector;
  sectorCount_ = sectorCount;
  return platform::OpenPhysicalDisk(disk, platform::Access::ReadWrite, disk_.Receive());
}

WinError CFastExtRecovery::SetCallbacks(ScanProgressFn, FileProgressFn, void*, int32_t) {
  return kErrorSuccess;
}

WinError CFastExtRecovery::Scan(const char16_t*) { return kErrorSuccess; }

WinError CFastExtRecovery::ListFolder(const FoundEntry*, uint32_t, std::vector<FoundEntry>*) {
  return kErrorSuccess;
}

WinError CFastExtRecovery::CountFiles(const FoundEntry*, uint32_t, uint32_t*) {
  return kErrorSuccess;
}

uint64_t CFastExtRecovery::GetEntryCount() { return 0; }

WinError CFastExtRecovery::GetEntryPath(const FoundEntry*, char16_t*, uint32_t) {
  return kErrorSuccess;
}

WinError CFastExtRecovery::Restore(const FoundEntry*, const char16_t*, uint32_t) {
  return kErrorSuccess;
}

// No allocation map: 0, outputs untouched.
int32_t CFastExtRecovery::NextFreeExtent(uint64_t*, uint64_t*) { return 0; }

WinError CFastExtRecovery::SetSearchCallback(SearchProgressFn, void*) { return kErrorSuccess; }

int32_t CFastExtRecovery::Search(const char16_t*, std::vector<SearchHit>*) { return 0; }

WinError CFastExtRecovery::LoadAllocationMap() { return kErrorSuccess; }

WinError CFastExtRecovery::ExtractForPreview(const FoundEntry*, char16_t*, uint8_t*, uint32_t*,
                                             PreviewProgressFn, void*) {
  return kErrorSuccess;
}
