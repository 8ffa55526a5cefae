#include "engines/ntfs/ntfs_quick_scan.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "carving/signature_table.h"
#include "carving/type_lists.h"
#include "engines/ntfs/ntfs_bitmap.h"
#include "engines/restore.h"
#include "platform/platform.h"

using namespace ntfs;

namespace {

constexpr uint32_t kRootRecord = 5;
constexpr uint32_t kBitmapRecord = 6;
constexpr uint32_t kLastSystemRecord = 11;
constexpr uint32_t kChunkRecords = 1024;
constexpr uint32_t kBootReadBytes = 4096;
constexpr uint32_t kPieceBytes = 65536;
constexpr uint32_t kMaxListBytes = 256 * 1024;
constexpr uint32_t kEstimateIntervalMs = 5000;
constexpr int32_t kNotARecord = -1;
constexpr int32_t kNoAttribute = -100;
// Clusters beyond 2^48 cannot exist on any volume; refusing them keeps every
// cluster-to-sector product inside 64 bits.
constexpr int64_t kMaxCluster = int64_t{1} << 48;
// NTFS clusters are at most 2 MiB; a larger size from a log is refused.
constexpr int32_t kMaxClusterBytes = 2 * 1024 * 1024;
// Deeper than any real folder tree (a path holds at most 32,767 characters);
// bounds the parent walk on a hostile chain that never reaches the root.
constexpr uint32_t kMaxFolderDepth = 4096;

bool IsPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

// The record size the boot sector gives at 0x40: clusters when positive,
// 2^-n bytes when negative. 0 when the field holds nothing usable.
uint32_t BootRecordSize(const uint8_t* boot, uint32_t clusterBytes, uint32_t bytesPerSector) {
  const int8_t field = static_cast<int8_t>(boot[0x40]);
  uint64_t size = 0;
  if (field > 0) size = uint64_t{static_cast<uint32_t>(field)} * clusterBytes;
  if (field < 0 && field >= -16) size = uint64_t{1} << (-field);
  if (size < 1024 || size > 4096 || !IsPowerOfTwo(static_cast<uint32_t>(size)) ||
      size % bytesPerSector != 0) {
    return 0;
  }
  return static_cast<uint32_t>(size);
}

// The name a record's $FILE_NAME attributes give it: the first, replaced by
// a later Win32 name.
struct NameChoice {
  bool found = false;
  FileNameInfo first;
  std::u16string name;

  void Offer(const FileNameInfo& info) {
    if (!found) {
      found = true;
      first = info;
      name = info.name;
    } else if (info.nameSpace == kNameWin32) {
      name = info.name;
    }
  }
};

// What the walk of one record gathers; false when the record is corrupt.
struct RecordFacts {
  NameChoice names;
  bool haveData = false;
  Attribute data;  // the unnamed $DATA
};

bool GatherFacts(const uint8_t* record, uint32_t recordSize, RecordFacts* facts) {
  const RecordHeader header = ReadRecordHeader(record);
  AttributeWalker walker(record, WalkAreaEnd(header, recordSize, true), header.firstAttribute);
  Attribute attribute;
  WalkStep step;
  while ((step = walker.Next(&attribute)) == WalkStep::Attribute) {
    if (attribute.type == kAttrFileName) {
      FileNameInfo info;
      if (!ParseFileName(attribute, &info)) return false;
      facts->names.Offer(info);
    } else if (attribute.type == kAttrData && attribute.nameLength == 0 && !facts->haveData) {
      facts->haveData = true;
      facts->data = attribute;
    }
  }
  return step == WalkStep::End;
}

// Fills the fields that every entry of this engine shares.
FoundEntry BaseEntry(uint16_t tag, uint32_t recordNumber) {
  FoundEntry entry = MakeEmptyEntry();
  entry.volumeTag = tag;
  entry.engineKind = kEngineNtfsQuick;
  entry.id = recordNumber;
  return entry;
}

}  // namespace

// Lets the common restoration reach this engine's data and folders.
class CFastNtfsRecovery::RestoreAdapter : public IRestoreSource {
 public:
  explicit RestoreAdapter(CFastNtfsRecovery& engine) : engine_(engine) {}
  WinError CopyFileData(const FoundEntry& file, uint64_t byteLimit, IDataSink& sink,
                        const CopyStepFn& step) override {
    return engine_.CopyData(
        file, byteLimit, [&sink](const uint8_t* data, uint32_t bytes) { return sink.Write(data, bytes); },
        step);
  }
  WinError ListFolderChildren(const FoundEntry& folder, uint32_t level,
                              std::vector<FoundEntry>* out) override {
    return engine_.ListFolder(&folder, level, out);
  }
  bool FolderKeyLevel(const FoundEntry& folder, uint32_t* level) override {
    if (!engine_.scanLog_) return false;
    if (folder.id == 0 || folder.id == kRootRecord) {
      *level = 0;
      return true;
    }
    std::vector<FoundEntry> ancestors;
    if (engine_.scanLog_->GetAncestors(folder, &ancestors) != kErrorSuccess) return false;
    *level = static_cast<uint32_t>(ancestors.size()) + 1;
    return true;
  }

 private:
  CFastNtfsRecovery& engine_;
};

CFastNtfsRecovery::CFastNtfsRecovery() = default;

CFastNtfsRecovery::~CFastNtfsRecovery() {
  scanLog_.reset();
  CloseSource(source_);
}

// ------------------------------------------------------------- opening ----

WinError CFastNtfsRecovery::OpenImage(const char16_t* path, uint16_t tag) {
  if (path == nullptr) return kErrorInvalidParameter;
  CloseSource(source_);
  opened_ = false;
  volumeTag_ = tag;
  const WinError result = OpenImageSource(source_, path);
  if (result != kErrorSuccess) return result;
  sourceSectorBytes_ = 512;
  firstSector_ = 0;
  volumeSectors_ = source_.totalSectors;
  return OpenVolume();
}

WinError CFastNtfsRecovery::OpenDisk(uint32_t disk, uint64_t firstSector, uint64_t sectorCount,
                                     uint16_t tag) {
  CloseSource(source_);
  opened_ = false;
  volumeTag_ = tag;
  const WinError result = OpenDiskSource(source_, disk);
  if (result != kErrorSuccess) return result;
  platform::DiskGeometry geometry;
  sourceSectorBytes_ = 512;
  if (platform::GetDiskGeometry(source_.handle, &geometry) == kErrorSuccess &&
      geometry.bytesPerSector >= 512 && geometry.bytesPerSector <= 4096 &&
      IsPowerOfTwo(geometry.bytesPerSector)) {
    sourceSectorBytes_ = geometry.bytesPerSector;
  }
  firstSector_ = firstSector;
  volumeSectors_ = sectorCount;
  (void)OpenVolume();  // the geometry's failure shows in the later calls
  return result;
}

WinError CFastNtfsRecovery::OpenVolume() {
  const uint32_t sectors = std::max<uint32_t>(1, kBootReadBytes / sourceSectorBytes_);
  std::vector<uint8_t> boot(uint64_t{sectors} * sourceSectorBytes_);
  uint32_t got = 0;
  WinError result = ReadSourceSectors(boot.data(), firstSector_, sectors, &got);
  if (result == kErrorSuccess && got != sectors) result = kErrorReadFault;
  if (result != kErrorSuccess) return result;
  result = ReadBootGeometry(boot.data());
  if (result != kErrorSuccess) return result;
  chunkBuffer_.assign(uint64_t{recordSize_} * kChunkRecords, 0);
  opened_ = true;
  LoadMftExtents();
  return kErrorSuccess;
}

WinError CFastNtfsRecovery::ReadBootGeometry(const uint8_t* boot) {
  uint32_t bytesPerSector = Le16(boot + 0x0B);
  if (bytesPerSector == 0) bytesPerSector = 512;
  const int8_t sectorsPerCluster = static_cast<int8_t>(boot[0x0D]);
  // Only the sector sizes NTFS is made with; anything else would size the
  // record reads from hostile data.
  if (bytesPerSector < 512 || bytesPerSector > 4096 || !IsPowerOfTwo(bytesPerSector) ||
      sectorsPerCluster <= 0 || !IsPowerOfTwo(static_cast<uint32_t>(sectorsPerCluster)) ||
      bytesPerSector % sourceSectorBytes_ != 0) {
    return kErrorInvalidParameter;
  }
  bytesPerSector_ = bytesPerSector;
  sectorsPerCluster_ = static_cast<uint32_t>(sectorsPerCluster);
  clusterBytes_ = bytesPerSector_ * sectorsPerCluster_;
  recordSize_ = BootRecordSize(boot, clusterBytes_, bytesPerSector_);
  if (recordSize_ == 0) recordSize_ = bytesPerSector_ == 512 ? 1024 : bytesPerSector_;
  sectorsPerRecord_ = recordSize_ / sourceSectorBytes_;
  sectorsPerClusterOnSource_ = clusterBytes_ / sourceSectorBytes_;
  volumeClusters_ = Le64(boot + 0x28) / sectorsPerCluster_;
  const uint64_t mftCluster = Le64(boot + 0x30);
  mftSector_ = mftCluster < static_cast<uint64_t>(kMaxCluster)
                   ? firstSector_ + mftCluster * sectorsPerClusterOnSource_
                   : firstSector_;
  return kErrorSuccess;
}

void CFastNtfsRecovery::LoadMftExtents() {
  mftExtents_.clear();
  std::vector<uint8_t> record;
  bool damaged = false;
  if (ReadRecordAt(mftSector_, &record, &damaged) != kErrorSuccess) return;
  NtfsAttributeData data;
  if (FindAttribute(record, kAttrData, &data) != kErrorSuccess || data.resident) return;
  mftExtents_ = data.extents;
  // A fragmented table keeps further extents in records that only the first
  // extent can locate: resolve once more with it in place.
  NtfsAttributeData full;
  if (FindAttribute(record, kAttrData, &full) == kErrorSuccess && !full.resident &&
      TotalClusters(full.extents) > TotalClusters(mftExtents_)) {
    mftExtents_ = full.extents;
  }
}

// ----------------------------------------------------------- records ----

WinError CFastNtfsRecovery::ReadSourceSectors(void* buffer, uint64_t start, uint32_t count,
                                              uint32_t* sectorsRead) {
  return ReadSectors(source_, buffer, start, count, sourceSectorBytes_, sectorsRead);
}

WinError CFastNtfsRecovery::ReadRecordAt(uint64_t sector, std::vector<uint8_t>* record,
                                         bool* damaged) {
  record->assign(recordSize_, 0);
  uint32_t got = 0;
  WinError result = ReadSourceSectors(record->data(), sector, sectorsPerRecord_, &got);
  if (result == kErrorSuccess && got != sectorsPerRecord_) result = kErrorReadFault;
  if (result != kErrorSuccess) return result;
  if (!HasFileSignature(record->data(), recordSize_)) return kNotARecord;
  *damaged = ApplyFixups(record->data(), recordSize_) == FixupResult::Damaged;
  return kErrorSuccess;
}

bool CFastNtfsRecovery::RecordSector(uint32_t recordNumber, uint64_t* sector) const {
  const uint64_t offset = uint64_t{recordNumber} * recordSize_;  // bytes into the table
  uint64_t extentStart = 0;
  for (const ClusterExtent& extent : mftExtents_) {
    const uint64_t extentBytes = extent.clusterCount * clusterBytes_;
    if (offset < extentStart + extentBytes) {
      if (extent.sparse || extent.firstCluster < 0 || extent.firstCluster >= kMaxCluster) {
        return false;
      }
      *sector = firstSector_ + static_cast<uint64_t>(extent.firstCluster) * sectorsPerClusterOnSource_ +
                (offset - extentStart) / sourceSectorBytes_;
      return true;
    }
    extentStart += extentBytes;
  }
  return false;
}

WinError CFastNtfsRecovery::ReadRecordByNumber(uint32_t recordNumber, std::vector<uint8_t>* record,
                                               bool* damaged) {
  uint64_t sector = 0;
  if (!RecordSector(recordNumber, &sector)) return kNotARecord;
  return ReadRecordAt(sector, record, damaged);
}

WinError CFastNtfsRecovery::FindAttribute(const std::vector<uint8_t>& record, uint32_t type,
                                          NtfsAttributeData* out) {
  *out = NtfsAttributeData();
  const RecordHeader header = ReadRecordHeader(record.data());
  AttributeWalker walker(record.data(), recordSize_, header.firstAttribute);
  Attribute attribute;
  Attribute list;
  bool haveList = false;
  bool found = false;
  WalkStep step;
  while ((step = walker.Next(&attribute)) == WalkStep::Attribute) {
    if (attribute.type == kAttrAttributeList && !haveList) {
      list = attribute;
      haveList = true;
    } else if (attribute.type == type && attribute.nameLength == 0) {
      found = true;
      break;
    }
  }
  if (step == WalkStep::Corrupt) return kErrorInvalidData;
  if (found && !attribute.nonResident) {
    out->resident = true;
    out->value.assign(attribute.value, attribute.value + attribute.valueLength);
    out->realSize = attribute.valueLength;
    return kErrorSuccess;
  }
  if (found) {
    out->extents = ToExtents(DecodeRunList(attribute.bytes, attribute.length, bytesPerSector_));
    out->realSize = attribute.realSize;
  }
  if (haveList) {
    NtfsAttributeData listed;
    if (AppendListedExtents(record, list, type, &listed) == kErrorSuccess &&
        !listed.extents.empty()) {
      if (!found) out->realSize = listed.realSize;
      out->extents = std::move(listed.extents);
      return kErrorSuccess;
    }
  }
  return found ? kErrorSuccess : kNoAttribute;
}

// Gathers the extents of every piece of the unnamed attribute `type` that
// the attribute list names, in list order. Pieces in other records are read
// from those records alone: their own lists are never followed, so no chain
// of lists can recurse.
WinError CFastNtfsRecovery::AppendListedExtents(const std::vector<uint8_t>& record,
                                                const Attribute& list, uint32_t type,
                                                NtfsAttributeData* out) {
  std::vector<uint8_t> listData;
  if (list.nonResident) {
    std::vector<ClusterExtent> listExtents =
        ToExtents(DecodeRunList(list.bytes, list.length, bytesPerSector_));
    const uint64_t bytes = std::min<uint64_t>(list.realSize, kMaxListBytes);
    const WinError result = ReadExtents(listExtents, bytes, &listData);
    if (result != kErrorSuccess) return result;
  } else {
    listData.assign(list.value, list.value + list.valueLength);
  }
  const uint32_t self = ReadRecordHeader(record.data()).number;
  const std::vector<AttributeListEntry> entries =
      ParseAttributeList(listData.data(), static_cast<uint32_t>(listData.size()));
  std::vector<uint8_t> other;
  for (const AttributeListEntry& entry : entries) {
    if (entry.type != type || entry.nameLength != 0) continue;
    const std::vector<uint8_t>* holder = &record;
    if (entry.recordNumber != self) {
      bool damaged = false;
      if (ReadRecordByNumber(entry.recordNumber, &other, &damaged) != kErrorSuccess) continue;
      holder = &other;
    }
    const RecordHeader header = ReadRecordHeader(holder->data());
    AttributeWalker walker(holder->data(), recordSize_, header.firstAttribute);
    Attribute piece;
    while (walker.Next(&piece) == WalkStep::Attribute) {
      if (piece.type != type || piece.nameLength != 0 || !piece.nonResident ||
          piece.startVcn != entry.startVcn) {
        continue;
      }
      if (piece.startVcn == 0) out->realSize = piece.realSize;
      const std::vector<ClusterExtent> extents =
          ToExtents(DecodeRunList(piece.bytes, piece.length, bytesPerSector_));
      out->extents.insert(out->extents.end(), extents.begin(), extents.end());
      break;
    }
  }
  return kErrorSuccess;
}

WinError CFastNtfsRecovery::DeliverExtents(const std::vector<ClusterExtent>& extents,
                                           uint64_t volumeStart, uint64_t clusterSectors,
                                           uint64_t bytes, const PieceFn& piece,
                                           uint64_t* delivered) {
  *delivered = 0;
  std::vector<uint8_t> buffer;
  for (const ClusterExtent& extent : extents) {
    if (*delivered >= bytes) break;
    if (!extent.sparse && (extent.firstCluster < 0 || extent.firstCluster >= kMaxCluster)) {
      return kErrorInvalidParameter;
    }
    const uint64_t extentSectors = std::min<uint64_t>(extent.clusterCount, kMaxCluster) * clusterSectors;
    const uint64_t firstSector =
        extent.sparse ? 0 : volumeStart + static_cast<uint64_t>(extent.firstCluster) * clusterSectors;
    for (uint64_t done = 0; done < extentSectors && *delivered < bytes;) {
      const uint64_t wantedBytes = bytes - *delivered;
      const uint64_t wantedSectors = (wantedBytes + sourceSectorBytes_ - 1) / sourceSectorBytes_;
      const uint32_t sectors = static_cast<uint32_t>(
          std::min<uint64_t>({kPieceBytes / sourceSectorBytes_, extentSectors - done, wantedSectors}));
      buffer.assign(uint64_t{sectors} * sourceSectorBytes_, 0);
      if (!extent.sparse) {
        uint32_t got = 0;
        const WinError result = ReadSourceSectors(buffer.data(), firstSector + done, sectors, &got);
        if (result != kErrorSuccess) return result;
        if (got == 0) return kErrorReadFault;
      }
      const uint32_t useful = static_cast<uint32_t>(std::min<uint64_t>(buffer.size(), wantedBytes));
      const WinError written = piece(buffer.data(), useful);
      if (written != kErrorSuccess) return written;
      *delivered += useful;
      done += sectors;
    }
  }
  return *delivered < bytes ? kErrorHandleEof : kErrorSuccess;
}

WinError CFastNtfsRecovery::ReadExtents(const std::vector<ClusterExtent>& extents, uint64_t bytes,
                                        std::vector<uint8_t>* out) {
  try {
    out->clear();
    out->reserve(bytes);
  } catch (const std::bad_alloc&) {
    return kErrorNotEnoughMemory;
  }
  uint64_t delivered = 0;
  return DeliverExtents(
      extents, firstSector_, sectorsPerClusterOnSource_, bytes,
      [out](const uint8_t* data, uint32_t count) {
        out->insert(out->end(), data, data + count);
        return kErrorSuccess;
      },
      &delivered);
}

// -------------------------------------------------------------- scan ----

WinError CFastNtfsRecovery::SetCallbacks(ScanProgressFn scanProgress, FileProgressFn fileProgress,
                                         void* userData, int32_t weight) {
  scanProgress_ = scanProgress;
  restoreProgress_ = fileProgress;
  userData_ = userData;
  progressWeight_ = weight;
  return kErrorSuccess;
}

WinError CFastNtfsRecovery::Scan(const char16_t* logName) {
  scanLog_.reset();
  auto log = std::make_unique<CScanLog>();
  const std::u16string name =
      logName != nullptr ? std::u16string(logName)
                         : FormatLogName(kLogPrefixFast, static_cast<int64_t>(firstSector_),
                                         platform::GetLocalTime());
  const WinError result = log->OpenLog(name);
  if (result != kErrorSuccess) return result;
  log->SetSearchProgress(searchProgress_, searchUserData_);
  scanLog_ = std::move(log);
  if (logName != nullptr) return kErrorSuccess;
  if (!opened_) return source_.handle == platform::kInvalidHandle ? kErrorInvalidHandle
                                                                  : kErrorReadFault;
  PrepareScanLog(*scanLog_);
  return ScanMft();
}

WinError CFastNtfsRecovery::ScanMft() {
  folderSet_.clear();
  folderSeen_.clear();
  parentCache_.clear();
  logError_ = kErrorSuccess;
  uint64_t total = 0;
  for (const ClusterExtent& extent : mftExtents_) {
    total += std::min<uint64_t>(extent.clusterCount, kMaxCluster) * sectorsPerClusterOnSource_;
  }
  uint64_t done = 0;
  secondsLeft_ = -1;
  scanStartTick_ = lastEstimateTick_ = platform::TickCount();
  const uint64_t chunkSectors = uint64_t{kChunkRecords} * sectorsPerRecord_;
  const uint64_t volumeEnd = firstSector_ + volumeSectors_;
  for (const ClusterExtent& extent : mftExtents_) {
    const uint64_t sectors =
        std::min<uint64_t>(extent.clusterCount, kMaxCluster) * sectorsPerClusterOnSource_;
    if (extent.sparse || extent.firstCluster < 0 || extent.firstCluster >= kMaxCluster) {
      done += sectors;
      continue;
    }
    const uint64_t start =
        firstSector_ + static_cast<uint64_t>(extent.firstCluster) * sectorsPerClusterOnSource_;
    // A hostile run list may point past the volume: only what lies inside
    // it is read, so the walk ends in time.
    const uint64_t readable = start >= volumeEnd ? 0 : std::min(sectors, volumeEnd - start);
    done += sectors - readable;
    for (uint64_t offset = 0; offset < readable;) {
      const uint64_t count = std::min(readable - offset, chunkSectors);
      const WinError result = ScanChunk(start + offset, static_cast<uint32_t>(count / sectorsPerRecord_));
      if (result != kErrorSuccess) return result;
      offset += count;
      done += count;
      const int32_t answer = ReportScanProgress(done, total);
      if (answer != 0) return answer;
    }
  }
  RunFolderPass();
  if (logError_ != kErrorSuccess) return logError_;
  // Success only when every record reached the log's files.
  const WinError flushError = scanLog_->FlushLog();
  if (flushError != kErrorSuccess) return flushError;
  if (scanProgress_ == nullptr) return kErrorSuccess;
  return scanProgress_(userData_, 100, progressWeight_, secondsLeft_, 0, 0, 0, 0);
}

// Reads one chunk of records and parses each. When the chunk cannot be read
// whole, its records are read one by one and the unreadable ones skipped, so
// one bad sector costs only the records it holds.
WinError CFastNtfsRecovery::ScanChunk(uint64_t sector, uint32_t records) {
  if (records == 0) return kErrorSuccess;
  const uint32_t sectors = records * sectorsPerRecord_;
  uint32_t got = 0;
  const WinError result = ReadSourceSectors(chunkBuffer_.data(), sector, sectors, &got);
  std::vector<bool> readable(records, true);
  if (result != kErrorSuccess || got != sectors) {
    for (uint32_t i = 0; i < records; ++i) {
      uint32_t one = 0;
      const WinError single = ReadSourceSectors(chunkBuffer_.data() + uint64_t{i} * recordSize_,
                                                sector + uint64_t{i} * sectorsPerRecord_,
                                                sectorsPerRecord_, &one);
      readable[i] = single == kErrorSuccess && one == sectorsPerRecord_;
    }
  }
  for (uint32_t i = 0; i < records; ++i) {
    if (readable[i]) {
      ParseFileRecord(chunkBuffer_.data() + uint64_t{i} * recordSize_,
                      sector + uint64_t{i} * sectorsPerRecord_);
      if (logError_ != kErrorSuccess) return logError_;
    }
  }
  return kErrorSuccess;
}

void CFastNtfsRecovery::ParseFileRecord(uint8_t* record, uint64_t sector) {
  if (!HasFileSignature(record, recordSize_)) return;
  const RecordHeader header = ReadRecordHeader(record);
  if (header.flags != 0 || header.number <= kLastSystemRecord) return;  // deleted files only
  const bool damaged = ApplyFixups(record, recordSize_) == FixupResult::Damaged;
  RecordFacts facts;
  if (!GatherFacts(record, recordSize_, &facts) || !facts.names.found) return;

  FoundEntry entry = BaseEntry(volumeTag_, header.number);
  const FileNameInfo& first = facts.names.first;
  entry.clusterBytes = static_cast<int32_t>(clusterBytes_);
  entry.created = first.created;
  entry.modified = first.modified;
  entry.accessed = first.accessed;
  entry.size = first.realSize;
  if (facts.haveData) {
    entry.size = facts.data.nonResident ? facts.data.realSize : facts.data.valueLength;
  }
  entry.entrySector = sector;
  entry.volumeStart = firstSector_;
  SetEntryName(entry, facts.names.name);
  const uint32_t depth = RegisterParentChain(first.parent);
  entry.dataIntact = damaged ? 0 : CheckContent(entry, facts.haveData ? &facts.data : nullptr);
  AppendEntry(entry, MakeFolderKey(first.parent, depth), false);
}

uint32_t CFastNtfsRecovery::RegisterParentChain(uint32_t parent) {
  uint32_t depth = 0;
  std::vector<uint32_t> walked;  // this walk's folders: ends any cycle
  for (uint32_t folder = parent; folder != kRootRecord && depth < kMaxFolderDepth;) {
    if (std::find(walked.begin(), walked.end(), folder) != walked.end()) break;
    walked.push_back(folder);
    if (folderSeen_.insert(folder).second) folderSet_.push_back(folder);
    ++depth;
    const ParentLink link = LookUpParent(folder);
    if (!link.readable || !link.directory || link.parent == folder) break;
    folder = link.parent;
  }
  return depth;
}

// A folder's own parent, read once per scan: the volume does not change
// while it is scanned, and files of one folder all ask for the same chain.
CFastNtfsRecovery::ParentLink CFastNtfsRecovery::LookUpParent(uint32_t recordNumber) {
  const auto cached = parentCache_.find(recordNumber);
  if (cached != parentCache_.end()) return cached->second;
  ParentLink link;
  std::vector<uint8_t> record;
  bool damaged = false;
  if (ReadRecordByNumber(recordNumber, &record, &damaged) == kErrorSuccess) {
    link.readable = true;
    link.directory = (ReadRecordHeader(record.data()).flags & kRecordDirectory) != 0;
    RecordFacts facts;
    link.parent = GatherFacts(record.data(), recordSize_, &facts) && facts.names.found
                      ? facts.names.first.parent
                      : recordNumber;  // no usable name: the chain ends here
  }
  parentCache_.emplace(recordNumber, link);
  return link;
}

void CFastNtfsRecovery::RunFolderPass() {
  for (size_t i = 0; i < folderSet_.size() && logError_ == kErrorSuccess; ++i) {
    AddFolderEntry(folderSet_[i]);
  }
}

// The entry of one folder of the folder set: its own record's name and
// times when it is still a directory, a lost folder under the root when its
// record is gone, unreadable, corrupt or now holds a file (its files stay
// reachable either way).
void CFastNtfsRecovery::AddFolderEntry(uint32_t recordNumber) {
  std::vector<uint8_t> record;
  bool damaged = false;
  const WinError result = ReadRecordByNumber(recordNumber, &record, &damaged);
  if (result != kErrorSuccess) {
    AddLostFolder(recordNumber, result == kNotARecord);
    return;
  }
  if (recordNumber <= kLastSystemRecord) return;
  const RecordHeader header = ReadRecordHeader(record.data());
  RecordFacts facts;
  if ((header.flags & kRecordDirectory) == 0 || !GatherFacts(record.data(), recordSize_, &facts) ||
      !facts.names.found) {
    AddLostFolder(recordNumber, false);
    return;
  }
  FoundEntry entry = BaseEntry(volumeTag_, recordNumber);
  const FileNameInfo& first = facts.names.first;
  entry.isFolder = 1;
  entry.clusterBytes = static_cast<int32_t>(clusterBytes_);
  entry.created = first.created;
  entry.modified = first.modified;
  entry.accessed = first.accessed;
  uint64_t sector = 0;
  RecordSector(recordNumber, &sector);
  entry.entrySector = sector;
  entry.volumeStart = firstSector_;
  SetEntryName(entry, facts.names.name);
  const uint32_t depth = RegisterParentChain(first.parent);
  AppendEntry(entry, MakeFolderKey(first.parent, depth), true);
}

void CFastNtfsRecovery::AddLostFolder(uint32_t recordNumber, bool withoutSignature) {
  FoundEntry entry = BaseEntry(volumeTag_, recordNumber);
  entry.isFolder = 1;
  entry.clusterBytes = -1;
  entry.dataIntact = withoutSignature ? 1 : 0;
  SetEntryNameAnsi(entry, "LostFolder" + std::to_string(recordNumber));
  AppendEntry(entry, MakeFolderKey(kRootRecord, 0), true);
}

uint32_t CFastNtfsRecovery::AppendEntry(const FoundEntry& entry, FolderKey key, bool folder) {
  const int32_t number = scanLog_->AppendRecord(entry);
  if (number <= 0) {
    const WinError why = scanLog_->PendingWriteError();
    logError_ = why != kErrorSuccess ? why : kErrorWriteFault;
    return 0;
  }
  scanLog_->AddRelation(key, number, entry.id, folder ? entry.name : nullptr);
  return static_cast<uint32_t>(number);
}

int32_t CFastNtfsRecovery::ReportScanProgress(uint64_t done, uint64_t total) {
  const uint32_t now = platform::TickCount();
  if (now - lastEstimateTick_ >= kEstimateIntervalMs && progressWeight_ == 100) {
    const uint64_t elapsed = (now - scanStartTick_) / 1000;
    uint64_t rate = elapsed == 0 ? 0 : done * sourceSectorBytes_ / elapsed;
    if (rate == 0) rate = 1;
    secondsLeft_ = static_cast<int32_t>(
        std::min<uint64_t>((total - std::min(done, total)) * sourceSectorBytes_ / rate, INT32_MAX));
    lastEstimateTick_ = now;
  }
  if (scanProgress_ == nullptr || total == 0) return 0;
  return scanProgress_(userData_, static_cast<int32_t>(std::min<uint64_t>(done * 100 / total, 100)),
                       progressWeight_, secondsLeft_, 0, 0, 0, 0);
}

// ------------------------------------------------------ data and copy ----

WinError CFastNtfsRecovery::LocateData(const FoundEntry& file, NtfsAttributeData* data) {
  if (!opened_) return kErrorInvalidHandle;
  std::vector<uint8_t> record;
  bool damaged = false;
  const WinError result = ReadRecordAt(file.entrySector, &record, &damaged);
  if (result == kNotARecord) return kErrorInvalidData;
  if (result != kErrorSuccess) return result;
  const WinError found = FindAttribute(record, kAttrData, data);
  if (found == kNoAttribute) return kErrorInvalidData;
  return found;
}

WinError CFastNtfsRecovery::CopyData(const FoundEntry& file, uint64_t byteLimit,
                                     const PieceFn& write, const StepFn& step) {
  if (file.isFolder) return kErrorInvalidParameter;
  NtfsAttributeData data;
  WinError result = LocateData(file, &data);
  if (result != kErrorSuccess) return result;
  const uint64_t size = file.size;  // packed field: copied, never bound to a reference
  const uint64_t wanted = std::min(size, byteLimit);
  if (wanted == 0) return kErrorSuccess;
  if (data.resident) {
    const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(wanted, data.value.size()));
    result = write(data.value.data(), bytes);
    if (result != kErrorSuccess) return result;
    const int32_t answer = step ? step(bytes) : 0;
    if (answer != 0) return answer;
    return bytes < wanted ? kErrorHandleEof : kErrorSuccess;
  }
  if (file.clusterBytes <= 0 || file.clusterBytes > kMaxClusterBytes ||
      static_cast<uint32_t>(file.clusterBytes) % sourceSectorBytes_ != 0) {
    return kErrorInvalidParameter;
  }
  uint64_t delivered = 0;
  int32_t stopped = 0;
  result = DeliverExtents(
      data.extents, file.volumeStart, static_cast<uint32_t>(file.clusterBytes) / sourceSectorBytes_,
      wanted,
      [&](const uint8_t* bytes, uint32_t count) {
        const WinError written = write(bytes, count);
        if (written != kErrorSuccess) return written;
        const int32_t answer = step ? step(delivered + count) : 0;
        if (answer != 0) stopped = answer;
        return answer;
      },
      &delivered);
  return stopped != 0 ? stopped : result;
}

// Whether the file's first bytes agree with its extension: the resident
// value, or the first sector of its first run. Empty resident data is not
// intact; no extension, no runs or an unreadable sector leave 1.
uint32_t CFastNtfsRecovery::CheckContent(const FoundEntry& entry, const Attribute* data) {
  if (data != nullptr && !data->nonResident && data->valueLength == 0) return 0;
  const std::string name(entry.name, strnlen(entry.name, sizeof entry.name));
  if (!NameHasExtensionDot(name) || data == nullptr) return 1;
  const std::string extension = NameExtension(name);
  if (!data->nonResident) {
    return CheckFileContent(data->value, data->valueLength, extension.c_str(), &source_,
                            sourceSectorBytes_, entry.entrySector);
  }
  const std::vector<ClusterExtent> extents =
      ToExtents(DecodeRunList(data->bytes, data->length, bytesPerSector_));
  if (extents.empty() || extents[0].sparse || extents[0].firstCluster < 0 ||
      extents[0].firstCluster >= kMaxCluster) {
    return 1;
  }
  const uint64_t sector =
      firstSector_ + static_cast<uint64_t>(extents[0].firstCluster) * sectorsPerClusterOnSource_;
  std::vector<uint8_t> bytes(sourceSectorBytes_);
  uint32_t got = 0;
  if (ReadSourceSectors(bytes.data(), sector, 1, &got) != kErrorSuccess || got != 1) return 1;
  return CheckFileContent(bytes.data(), bytes.size(), extension.c_str(), &source_,
                          sourceSectorBytes_, sector);
}

WinError CFastNtfsRecovery::Restore(const FoundEntry* entry, const char16_t* destination,
                                    uint32_t level) {
  if (entry == nullptr || destination == nullptr) return kErrorInvalidParameter;
  RestoreAdapter adapter(*this);
  FileProgress progress;
  progress.fn = restoreProgress_;
  progress.userData = userData_;
  return RestoreEntry(adapter, entry, destination, level, progress);
}

WinError CFastNtfsRecovery::ExtractForPreview(const FoundEntry* entry, char16_t* outPath,
                                              uint8_t* memory, uint32_t* byteCount,
                                              PreviewProgressFn progress, void* userData) {
  if (entry == nullptr) return kErrorInvalidParameter;
  RestoreAdapter adapter(*this);
  return ExtractEntryForPreview(adapter, entry, outPath, memory, byteCount, progress, userData);
}

// ------------------------------------------------------------- bitmap ----

WinError CFastNtfsRecovery::LoadAllocationMap() {
  if (!opened_) return kErrorInvalidHandle;
  std::vector<uint8_t> record;
  bool damaged = false;
  WinError result = ReadRecordByNumber(kBitmapRecord, &record, &damaged);
  if (result != kErrorSuccess) return result;
  NtfsAttributeData data;
  result = FindAttribute(record, kAttrData, &data);
  if (result == kNoAttribute) return kErrorInvalidParameter;
  if (result != kErrorSuccess) return result;
  // Never more than one bit per cluster of the volume, whatever the
  // attribute claims.
  uint64_t clusters = volumeSectors_ / sectorsPerClusterOnSource_;
  if (volumeClusters_ != 0) clusters = std::min(clusters, volumeClusters_);
  const uint64_t volumeBytes = (clusters + 7) / 8;
  std::vector<uint8_t> bits;
  if (data.resident) {
    bits = std::move(data.value);
    if (bits.size() > volumeBytes) bits.resize(volumeBytes);
  } else {
    const uint64_t room = TotalClusters(data.extents) * clusterBytes_;
    result = ReadExtents(data.extents, std::min({data.realSize, room, volumeBytes}), &bits);
    if (result != kErrorSuccess && result != kErrorHandleEof) return result;
  }
  allocationBitmap_ = std::move(bits);
  bitmapBytes_ = allocationBitmap_.size();
  bitmapLoaded_ = true;
  return kErrorSuccess;
}

int32_t CFastNtfsRecovery::NextFreeExtent(uint64_t* sector, uint64_t* count) {
  AllocationBitmapView view;
  view.bits = allocationBitmap_.data();
  view.bytes = bitmapBytes_;
  view.sectorsPerCluster = sectorsPerClusterOnSource_;
  view.volumeSectors = volumeSectors_;
  FindFreeExtent(view, sector, count);
  return 1;
}

// ------------------------------------------------------ log questions ----

WinError CFastNtfsRecovery::RequireLog() const {
  return scanLog_ ? kErrorSuccess : kErrorInvalidParameter;
}

FolderKey CFastNtfsRecovery::KeyOf(const FoundEntry* folder, uint32_t level) const {
  if (folder == nullptr || folder->id == 0) return MakeFolderKey(kRootRecord, 0);
  return MakeFolderKey(folder->id, level);
}

WinError CFastNtfsRecovery::ListFolder(const FoundEntry* folder, uint32_t level,
                                       std::vector<FoundEntry>* out) {
  if (RequireLog() != kErrorSuccess || out == nullptr || (folder == nullptr && level != 0)) {
    return kErrorInvalidParameter;
  }
  scanLog_->FlushLog();
  return scanLog_->ListChildren(KeyOf(folder, level), out);
}

WinError CFastNtfsRecovery::CountFiles(const FoundEntry* folder, uint32_t level, uint32_t* count) {
  if (RequireLog() != kErrorSuccess || count == nullptr || (folder == nullptr && level != 0)) {
    return kErrorInvalidParameter;
  }
  scanLog_->FlushLog();
  return scanLog_->CountFilesUnder(KeyOf(folder, level), count);
}

uint64_t CFastNtfsRecovery::GetEntryCount() {
  return scanLog_ ? static_cast<uint64_t>(scanLog_->RecordCount()) : 0;
}

WinError CFastNtfsRecovery::GetEntryPath(const FoundEntry* entry, char16_t* out,
                                         uint32_t capacity) {
  if (RequireLog() != kErrorSuccess || entry == nullptr || out == nullptr) {
    return kErrorInvalidParameter;
  }
  scanLog_->FlushLog();
  return scanLog_->GetFolderPath(*entry, out, capacity);
}

WinError CFastNtfsRecovery::SetSearchCallback(SearchProgressFn progress, void* userData) {
  searchProgress_ = progress;
  searchUserData_ = userData;
  if (!scanLog_) return kErrorInvalidParameter;
  scanLog_->SetSearchProgress(progress, userData);
  return kErrorSuccess;
}

int32_t CFastNtfsRecovery::Search(const char16_t* text, std::vector<SearchHit>* out) {
  if (!scanLog_ || text == nullptr || out == nullptr) return 0;
  scanLog_->FlushLog();
  return scanLog_->SearchByExtension(text, out);
}
