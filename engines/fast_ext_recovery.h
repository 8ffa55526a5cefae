// The engine made for an ext volume when a quick scan is asked for: it opens
// the disk and finds nothing. It keeps no allocation map: NextFreeExtent
// answers 0 ("no map") and leaves its outputs alone, so a caller that walks
// free extents falls back to covering the whole volume and the walk ends.
#pragma once

#include <cstdint>
#include <vector>

#include "engines/engine_contract.h"
#include "engines/scoped_file.h"

class CFastExtRecovery : public IFileRecoveryParse {
 public:
  CFastExtRecovery() = default;
  CFastExtRecovery(const CFastExtRecovery&) = delete;
  CFastExtRecovery& operator=(const CFastExtRecovery&) = delete;
  ~CFastExtRecovery() override = default;

  WinError OpenImage(const char16_t* path, uint16_t tag) override;
  WinError OpenDisk(uint32_t disk, uint64_t firstSector, uint64_t sectorCount,
                    uint16_t tag) override;
  WinError SetCallbacks(ScanProgressFn scanProgress, FileProgressFn fileProgress, void* userData,
                        int32_t weight) override;
  WinError Scan(const char16_t* logName) override;
  WinError ListFolder(const FoundEntry* folder, uint32_t level,
                      std::vector<FoundEntry>* out) override;
  WinError CountFiles(const FoundEntry* folder, uint32_t level, uint32_t* count) override;
  uint64_t GetEntryCount() override;
  WinError GetEntryPath(const FoundEntry* entry, char16_t* out, uint32_t capacity) override;
  WinError Restore(const FoundEntry* entry, const char16_t* destination, uint32_t level) override;
  int32_t NextFreeExtent(uint64_t* sector, uint64_t* count) override;
  WinError SetSearchCallback(SearchProgressFn progress, void* userData) override;
  int32_t Search(const char16_t* text, std::vector<SearchHit>* out) override;
  WinError LoadAllocationMap() override;
  WinError ExtractForPreview(const FoundEntry* entry, char16_t* outPath, uint8_t* memory,
                             uint32_t* byteCount, PreviewProgressFn progress,
                             void* userData) override;

  bool IsDiskOpen() const { return disk_.IsOpen(); }
  uint64_t FirstSector() const { return firstSector_; }
  uint64_t SectorCount() const { return sectorCount_; }

 private:
  ScopedFile disk_;
  uint64_t firstSector_ = 0;
  uint64_t sectorCount_ = 0;
};
