// The quick scan of an NTFS volume: reads the master file table through its
// own runs, reports every deleted file with its name, size, times and the
// folders it lived in, and copies found files out. It also offers the
// volume's allocation bitmap and the walk over its free extents.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engines/engine_contract.h"
#include "engines/ntfs/ntfs_record.h"
#include "engines/ntfs/ntfs_runs.h"
#include "scanlog/scan_log.h"
#include "storage/sector_source.h"

// The data of one attribute: its value when resident, its extents otherwise.
struct NtfsAttributeData {
  bool resident = false;
  std::vector<uint8_t> value;
  std::vector<ClusterExtent> extents;
  uint64_t realSize = 0;
};

class CFastNtfsRecovery : public IFileRecoveryParse {
 public:
  CFastNtfsRecovery();
  ~CFastNtfsRecovery() override;
  CFastNtfsRecovery(const CFastNtfsRecovery&) = delete;
  CFastNtfsRecovery& operator=(const CFastNtfsRecovery&) = delete;

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

  // Geometry as the open derived it (for tests and the deep engine).
  uint32_t BytesPerSector() const { return bytesPerSector_; }
  uint32_t ClusterBytes() const { return clusterBytes_; }
  uint32_t RecordSize() const { return recordSize_; }
  const std::vector<ClusterExtent>& MftExtents() const { return mftExtents_; }

  // Copies a found file's data (resident or in runs; sparse runs as zeros),
  // at most `byteLimit` bytes and never more than its size, in pieces of at
  // most 64 KiB. `write` gets each piece, `step` the bytes done after it; a
  // non-zero answer of either ends the copy with that value. 38 when the data
  // ends before the size.
  using PieceFn = std::function<WinError(const uint8_t* data, uint32_t bytes)>;
  using StepFn = std::function<int32_t(uint64_t bytesDone)>;
  WinError CopyData(const FoundEntry& file, uint64_t byteLimit, const PieceFn& write,
                    const StepFn& step);

 protected:
  // Every read of the volume goes through here: `count` sectors of the
  // source's sector size from absolute sector `start`. Tests replace it to
  // simulate unreadable sectors.
  virtual WinError ReadSourceSectors(void* buffer, uint64_t start, uint32_t count,
                                     uint32_t* sectorsRead);
  // Called with each new scan log before the scan records anything in it.
  // Tests put in failing writes here.
  virtual void PrepareScanLog(CScanLog& /*log*/) {}

 private:
  class RestoreAdapter;
  struct ParentLink {
    bool readable = false;
    bool directory = false;
    uint32_t parent = 0;
  };
  struct ParsedRecord;

  WinError OpenVolume();
  WinError ReadBootGeometry(const uint8_t* boot);
  void LoadMftExtents();
  WinError ReadRecordAt(uint64_t sector, std::vector<uint8_t>* record, bool* damaged);
  bool RecordSector(uint32_t recordNumber, uint64_t* sector) const;
  WinError ReadRecordByNumber(uint32_t recordNumber, std::vector<uint8_t>* record, bool* damaged);
  WinError FindAttribute(const std::vector<uint8_t>& record, uint32_t type,
                         NtfsAttributeData* out);
  WinError AppendListedExtents(const std::vector<uint8_t>& record, const ntfs::Attribute& list,
                               uint32_t type, NtfsAttributeData* out);
  WinError ReadExtents(const std::vector<ClusterExtent>& extents, uint64_t bytes,
                       std::vector<uint8_t>* out);
  WinError DeliverExtents(const std::vector<ClusterExtent>& extents, uint64_t volumeStart,
                          uint64_t clusterSectors, uint64_t bytes, const PieceFn& piece,
                          uint64_t* delivered);

  WinError ScanMft();
  WinError ScanChunk(uint64_t sector, uint32_t records);
  void ParseFileRecord(uint8_t* record, uint64_t sector);
  uint32_t RegisterParentChain(uint32_t parent);
  ParentLink LookUpParent(uint32_t recordNumber);
  void RunFolderPass();
  void AddFolderEntry(uint32_t recordNumber);
  void AddLostFolder(uint32_t recordNumber, bool withoutSignature);
  // Adds a record and files it under `key`; 0 when the log refused it (the
  // scan then stops with the log's error in logError_).
  uint32_t AppendEntry(const FoundEntry& entry, FolderKey key, bool folder);
  uint32_t CheckContent(const FoundEntry& entry, const ntfs::Attribute* data);
  int32_t ReportScanProgress(uint64_t done, uint64_t total);

  WinError LocateData(const FoundEntry& file, NtfsAttributeData* data);
  WinError RequireLog() const;
  FolderKey KeyOf(const FoundEntry* folder, uint32_t level) const;

  SectorSource source_;
  uint32_t sourceSectorBytes_ = 512;  // the unit of every sector number
  uint64_t firstSector_ = 0;
  uint64_t volumeSectors_ = 0;
  uint16_t volumeTag_ = 0;
  bool opened_ = false;

  uint32_t bytesPerSector_ = 512;
  uint32_t sectorsPerCluster_ = 0;
  uint32_t clusterBytes_ = 0;
  uint32_t recordSize_ = 1024;
  uint32_t sectorsPerRecord_ = 2;   // in source sectors
  uint32_t sectorsPerClusterOnSource_ = 0;
  uint64_t volumeClusters_ = 0;
  uint64_t mftSector_ = 0;
  std::vector<ClusterExtent> mftExtents_;
  std::vector<uint8_t> chunkBuffer_;

  std::vector<uint32_t> folderSet_;
  std::unordered_set<uint32_t> folderSeen_;
  std::unordered_map<uint32_t, ParentLink> parentCache_;
  std::vector<uint8_t> allocationBitmap_;
  uint64_t bitmapBytes_ = 0;
  bool bitmapLoaded_ = false;

  std::unique_ptr<CScanLog> scanLog_;
  WinError logError_ = kErrorSuccess;  // why the log refused a record
  ScanProgressFn scanProgress_ = nullptr;
  FileProgressFn restoreProgress_ = nullptr;
  void* userData_ = nullptr;
  int32_t progressWeight_ = 100;
  SearchProgressFn searchProgress_ = nullptr;
  void* searchUserData_ = nullptr;

  uint32_t scanStartTick_ = 0;
  uint32_t lastEstimateTick_ = 0;
  int32_t secondsLeft_ = -1;
};
