// CFastFatRecovery: the quick scan of a FAT12/16/32 volume. It walks the
// directory tree the volume still describes, deleted folders included, and
// records every deleted file, every file inside a deleted folder, and the
// folders on the way to them. It also keeps the map of allocated clusters for
// the deep scan and copies found files out along their clusters.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engines/engine_contract.h"
#include "engines/fat/allocation_map.h"
#include "engines/fat/cluster_set.h"
#include "engines/fat/content_check.h"
#include "engines/fat/fat_dir_entry.h"
#include "engines/fat/fat_table.h"
#include "engines/fat/fat_volume.h"
#include "engines/restore.h"
#include "scanlog/scan_log.h"
#include "storage/sector_source.h"

class CFastFatRecovery : public IFileRecoveryParse {
 public:
  CFastFatRecovery();
  ~CFastFatRecovery() override;
  CFastFatRecovery(const CFastFatRecovery&) = delete;
  CFastFatRecovery& operator=(const CFastFatRecovery&) = delete;

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

  // The unit of Restore: a file copied to `path` (a new file), or a folder
  // created there.
  WinError RestoreOne(const FoundEntry* entry, const std::u16string& path);
  // The FAT entry of a cluster, reduced to the FAT's width.
  WinError GetFatEntry(uint32_t cluster, uint32_t* value);
  // The level of a folder below the root (root 0), read from the ".." entries
  // on disk; ends on the first folder met twice.
  uint32_t FolderLevel(uint32_t cluster);
  // Whether a found file's first sector agrees with its extension.
  uint32_t CheckContent(const FoundEntry& record);

  bool IsOpen() const { return open_; }
  const FatGeometry& Geometry() const { return geometry_; }
  const CAllocationMap& AllocationMap() const { return allocationMap_; }
  uint64_t VolumeSectors() const { return volumeSectors_; }
  // Replaces the content check (the signature probes by default).
  void SetContentCheck(ContentCheckFn check) { contentCheck_ = check; }

 protected:
  // Called with each new scan log before the scan records anything in it.
  // Tests put in failing writes here.
  virtual void PrepareScanLog(CScanLog& /*log*/) {}

 private:
  class RestoreSource;
  struct FolderRecord {
    FoundEntry entry;
    uint32_t parent;  // the cluster of the directory that holds the folder
  };
  struct WalkState {
    uint32_t currentFolder = 0;
    bool inDeletedFolder = false;
    uint64_t entrySector = 0;
    LongNameBuffer longName;
  };

  WinError OpenVolume(uint64_t firstSector, uint32_t sourceSectorBytes, uint64_t volumeBytes,
                      uint16_t tag);
  WinError WalkAllFolders();
  WinError FinishScan();
  // Adds a record to the log; 0 when the log refused it (the scan then stops
  // with the log's error in logError_).
  int32_t AppendToLog(const FoundEntry& record);
  void ResetScanState();
  bool IsRootFolder(uint32_t cluster) const;
  uint64_t AbsoluteSector(uint64_t volumeSector) const { return volumeStart_ + volumeSector; }
  WinError ReadVolumeSectors(uint64_t volumeSector, uint32_t count, uint8_t* buffer) const;

  void WalkDirectory(uint32_t cluster);
  bool StartsWithDotEntries(const uint8_t* unit) const;
  uint32_t NextDirectoryCluster(uint32_t cluster, ClusterSet* seen);
  // false ends the walk of the directory.
  bool HandleEntry(const uint8_t* e, const uint8_t* next, WalkState* state);
  void HandleFolderEntry(const uint8_t* e, const std::string& name, WalkState* state);
  void HandleFileEntry(const uint8_t* e, const std::string& name, const WalkState& state);
  uint32_t EntryCluster(const uint8_t* e) const;
  FoundEntry MakeRecord(const uint8_t* e, const std::string& name) const;
  void ListFolderPath(uint32_t folder);
  void WriteFolderRecords();
  uint32_t CachedFolderLevel(uint32_t cluster);
  uint16_t GuessFolderClusterHigh(uint16_t low);
  uint16_t GuessFileClusterHigh(const std::string& name, uint16_t low);
  bool ReadClusterSector(uint32_t cluster, std::vector<uint8_t>* sector) const;
  WinError LogKey(const FoundEntry* folder, uint32_t level, FolderKey* key) const;

  int32_t Report(int32_t progress, int32_t secondsLeft);
  // The report due every 5 seconds of walking; 0 when none is due.
  int32_t PeriodicReport();

  // Source and volume.
  bool open_ = false;
  WinError openError_ = kErrorInvalidHandle;
  SectorSource source_;
  uint64_t volumeStart_ = 0;
  uint64_t volumeSectors_ = 0;
  uint16_t volumeTag_ = 0;
  std::vector<uint8_t> bootArea_;
  FatGeometry geometry_;
  CFatTable fat_;
  CAllocationMap allocationMap_;
  ContentCheckFn contentCheck_;

  // Callbacks.
  ScanProgressFn scanProgress_ = nullptr;
  FileProgressFn fileProgress_ = nullptr;
  void* userData_ = nullptr;
  int32_t weight_ = 100;

  // Scan state.
  std::unique_ptr<CScanLog> log_;
  WinError logError_ = kErrorSuccess;  // why the log refused a record
  std::deque<uint32_t> pendingFolders_;
  ClusterSet visitedFolders_;
  std::unordered_map<uint32_t, FolderRecord> folderTable_;
  std::vector<uint32_t> listedFolders_;
  std::unordered_set<uint32_t> listedSet_;
  std::unordered_map<uint32_t, uint32_t> levelCache_;
  uint32_t lastReportTick_ = 0;
  int32_t periodicReports_ = 0;
};
