#include "engines/fat/fat_quick_scan.h"

#include <algorithm>
#include <cstring>

#include "carving/type_lists.h"
#include "engines/fat/fat_bytes.h"
#include "engines/fat/fat_file_copy.h"
#include "engines/recovery_layout.h"

namespace {

constexpr uint32_t kBootAreaBytes = 4096;
constexpr uint32_t kReportIntervalMs = 5000;

}  // namespace

// The engine as the common restoration sees it.
class CFastFatRecovery::RestoreSource : public IRestoreSource {
 public:
  explicit RestoreSource(CFastFatRecovery& engine) : engine_(engine) {}

  WinError CopyFileData(const FoundEntry& file, uint64_t byteLimit, IDataSink& sink,
                        const CopyStepFn& step) override {
    if (!engine_.open_) return engine_.openError_;
    FatCopySource from;
    from.source = &engine_.source_;
    from.bytesPerSector = engine_.geometry_.bytesPerSector;
    from.fat = &engine_.fat_;
    from.lastCluster = engine_.geometry_.LastCluster();
    return CopyFatFileData(from, file, byteLimit, sink, step);
  }
  WinError ListFolderChildren(const FoundEntry& folder, uint32_t level,
                              std::vector<FoundEntry>* out) override {
    return engine_.ListFolder(&folder, level, out);
  }
  bool FolderKeyLevel(const FoundEntry& folder, uint32_t* level) override {
    if (!engine_.open_) return false;
    *level = engine_.FolderLevel(folder.id);
    return true;
  }

 private:
  CFastFatRecovery& engine_;
};

CFastFatRecovery::CFastFatRecovery() : contentCheck_(ProbeFileContent) {}

CFastFatRecovery::~CFastFatRecovery() {
  log_.reset();
  CloseSource(source_);
}

// ------------------------------------------------------------- opening ----

WinError CFastFatRecovery::OpenImage(const char16_t* path, uint16_t tag) {
  if (open_) return kErrorSuccess;
  if (path == nullptr) return kErrorInvalidParameter;
  openError_ = OpenImageSource(source_, path);
  if (openError_ != kErrorSuccess) return openError_;
  uint64_t bytes = 0;
  openError_ = platform::GetFileSize(source_.handle, &bytes);
  if (openError_ != kErrorSuccess) return openError_;
  return OpenVolume(0, 512, bytes, tag);
}

WinError CFastFatRecovery::OpenDisk(uint32_t disk, uint64_t firstSector, uint64_t sectorCount,
                                    uint16_t tag) {
  if (open_) return kErrorSuccess;
  openError_ = OpenDiskSource(source_, disk);
  if (openError_ != kErrorSuccess) return openError_;
  platform::DiskGeometry diskGeometry;
  uint32_t sectorBytes = 512;
  if (platform::GetDiskGeometry(source_.handle, &diskGeometry) == kErrorSuccess &&
      diskGeometry.bytesPerSector >= 512 && diskGeometry.bytesPerSector <= kBootAreaBytes) {
    sectorBytes = diskGeometry.bytesPerSector;
  }
  return OpenVolume(firstSector, sectorBytes, sectorCount * sectorBytes, tag);
}

// Reads and checks the boot area of the volume that starts at sector
// `firstSector` (of `sourceSectorBytes`) and is `volumeBytes` long, then
// loads the FAT window.
WinError CFastFatRecovery::OpenVolume(uint64_t firstSector, uint32_t sourceSectorBytes,
                                      uint64_t volumeBytes, uint16_t tag) {
  volumeTag_ = tag;
  bootArea_.assign(kBootAreaBytes, 0);
  uint32_t got = 0;
  const uint32_t bootSectors = kBootAreaBytes / sourceSectorBytes;
  const WinError readError =
      ReadSectors(source_, bootArea_.data(), firstSector, bootSectors, sourceSectorBytes, &got);
  if (got < bootSectors) {
    openError_ = readError != kErrorSuccess ? readError : kErrorReadFault;
    return openError_;
  }
  openError_ = ParseFatBootSector(bootArea_.data(), bootArea_.size(), &geometry_);
  if (openError_ != kErrorSuccess) return openError_;
  // Sector numbers from here on are in the volume's own sector size.
  volumeStart_ = firstSector * sourceSectorBytes / geometry_.bytesPerSector;
  volumeSectors_ = volumeBytes / geometry_.bytesPerSector;
  fat_.Attach(&source_, geometry_, volumeStart_ + geometry_.reservedSectors,
              volumeStart_ + volumeSectors_);
  open_ = true;
  return kErrorSuccess;
}

WinError CFastFatRecovery::SetCallbacks(ScanProgressFn scanProgress, FileProgressFn fileProgress,
                                        void* userData, int32_t weight) {
  scanProgress_ = scanProgress;
  fileProgress_ = fileProgress;
  userData_ = userData;
  weight_ = weight;
  return kErrorSuccess;
}

bool CFastFatRecovery::IsRootFolder(uint32_t cluster) const {
  return cluster == 0 || cluster == geometry_.rootCluster;
}

WinError CFastFatRecovery::ReadVolumeSectors(uint64_t volumeSector, uint32_t count,
                                             uint8_t* buffer) const {
  uint32_t got = 0;
  const WinError error = ReadSectors(source_, buffer, AbsoluteSector(volumeSector), count,
                                     geometry_.bytesPerSector, &got);
  if (error != kErrorSuccess) return error;
  return got == count ? kErrorSuccess : kErrorReadFault;
}

WinError CFastFatRecovery::GetFatEntry(uint32_t cluster, uint32_t* value) {
  if (!open_) return openError_;
  return fat_.GetFatEntry(cluster, value);
}

// ---------------------------------------------------------------- scan ----

int32_t CFastFatRecovery::Report(int32_t progress, int32_t secondsLeft) {
  lastReportTick_ = platform::TickCount();
  if (scanProgress_ == nullptr) return 0;
  return scanProgress_(userData_, progress, weight_, secondsLeft, 0, 0, 0, 0);
}

int32_t CFastFatRecovery::PeriodicReport() {
  if (platform::TickCount() - lastReportTick_ < kReportIntervalMs) return 0;
  // Inside the composite deep scan (weight below 100) the quick phase counts
  // from 21 without an estimate; alone it counts from 2 with a countdown.
  const bool alone = weight_ >= 100;
  const int32_t progress = (alone ? 2 : 21) + periodicReports_;
  const int32_t secondsLeft = alone ? 99 - periodicReports_ : -1;
  ++periodicReports_;
  return Report(progress, secondsLeft);
}

void CFastFatRecovery::ResetScanState() {
  pendingFolders_.clear();
  visitedFolders_.Clear();
  folderTable_.clear();
  listedFolders_.clear();
  listedSet_.clear();
  levelCache_.clear();
  periodicReports_ = 0;
  logError_ = kErrorSuccess;
}

WinError CFastFatRecovery::Scan(const char16_t* logName) {
  ResetScanState();
  log_.reset(new CScanLog());
  if (logName != nullptr) return log_->OpenLog(logName);
  if (!open_) return openError_;
  const WinError openError = log_->OpenLog(FormatLogName(
      kLogPrefixFast, static_cast<int64_t>(volumeStart_), platform::GetLocalTime()));
  if (openError != kErrorSuccess) return openError;
  PrepareScanLog(*log_);

  // The first answer is not acted on: a later report replaces it.
  Report(1, -1);
  WinError result = WalkAllFolders();
  if (result == kErrorSuccess) result = Report(80, 10);
  if (result == kErrorSuccess) return FinishScan();
  log_->FlushLog();
  return result;
}

// Walks the tree folder by folder from the root. A non-zero report answer or
// a record the log refused ends the walk with that value.
WinError CFastFatRecovery::WalkAllFolders() {
  pendingFolders_.push_back(geometry_.rootCluster);
  while (!pendingFolders_.empty()) {
    const uint32_t cluster = pendingFolders_.front();
    pendingFolders_.pop_front();
    if (!visitedFolders_.Insert(cluster)) continue;
    WalkDirectory(cluster);
    if (logError_ != kErrorSuccess) return logError_;
    const int32_t answer = PeriodicReport();
    if (answer != 0) return answer;
  }
  return kErrorSuccess;
}

// Adds the folder records and writes the log out. The scan only ends in
// success when every record reached the log's files.
WinError CFastFatRecovery::FinishScan() {
  WriteFolderRecords();
  const WinError flushError = log_->FlushLog();
  if (logError_ != kErrorSuccess) return logError_;
  if (flushError != kErrorSuccess) return flushError;
  return Report(100, 0);
}

int32_t CFastFatRecovery::AppendToLog(const FoundEntry& record) {
  const int32_t seq = log_->AppendRecord(record);
  if (seq == 0) {
    const WinError why = log_->PendingWriteError();
    logError_ = why != kErrorSuccess ? why : kErrorWriteFault;
  }
  return seq;
}

bool CFastFatRecovery::StartsWithDotEntries(const uint8_t* unit) const {
  return IsDotEntry(unit) && unit[kDirEntryBytes] == '.' && unit[kDirEntryBytes + 1] == '.';
}

// The cluster a directory goes on in after `cluster`, or 0 when it ends. A
// deleted directory's zeroed chain is taken to go on in the next cluster
// while that one is free too.
uint32_t CFastFatRecovery::NextDirectoryCluster(uint32_t cluster, ClusterSet* seen) {
  uint32_t value = 0;
  if (fat_.GetFatEntry(cluster, &value) != kErrorSuccess) return 0;
  uint32_t next = 0;
  if (value == 0) {
    uint32_t neighbour = 1;
    if (geometry_.IsDataCluster(cluster + 1) &&
        fat_.GetFatEntry(cluster + 1, &neighbour) == kErrorSuccess && neighbour == 0) {
      next = cluster + 1;
    }
  } else {
    next = geometry_.ChainSuccessor(value);
  }
  if (next == 0 || !seen->Insert(next)) return 0;
  return next;
}

void CFastFatRecovery::WalkDirectory(uint32_t cluster) {
  const bool fixedRoot = cluster == 0 && !geometry_.IsFat32();
  if (!fixedRoot && !geometry_.IsDataCluster(cluster)) return;
  WalkState state;
  state.currentFolder = cluster;
  const auto known = folderTable_.find(cluster);
  const bool knownFolder = known != folderTable_.end() && !IsRootFolder(cluster);
  if (known != folderTable_.end()) state.inDeletedFolder = known->second.entry.isDeleted != 0;

  const uint32_t unitSectors = fixedRoot ? geometry_.rootDirSectors : geometry_.sectorsPerCluster;
  if (unitSectors == 0) return;
  std::vector<uint8_t> unit(static_cast<size_t>(unitSectors) * geometry_.bytesPerSector);
  ClusterSet seen;
  seen.Insert(cluster);
  bool firstUnit = true;
  for (uint32_t current = cluster; current != 0 || fixedRoot;) {
    const uint64_t unitSector = geometry_.ClusterSector(current);
    if (ReadVolumeSectors(unitSector, unitSectors, unit.data()) != kErrorSuccess) return;
    if (firstUnit && knownFolder && !StartsWithDotEntries(unit.data())) return;
    firstUnit = false;
    const size_t entries = unit.size() / kDirEntryBytes;
    for (size_t i = 0; i < entries; ++i) {
      const uint8_t* e = unit.data() + i * kDirEntryBytes;
      const uint8_t* next = i + 1 < entries ? e + kDirEntryBytes : nullptr;
      state.entrySector =
          AbsoluteSector(unitSector) + (i * kDirEntryBytes) / geometry_.bytesPerSector;
      if (!HandleEntry(e, next, &state)) return;
    }
    if (fixedRoot) return;
    current = NextDirectoryCluster(current, &seen);
  }
}

bool CFastFatRecovery::HandleEntry(const uint8_t* e, const uint8_t* next, WalkState* state) {
  if (e[0] == 0x00) return false;
  if (!IsPlausibleDirEntry(e, next)) {
    state->longName.Clear();
    return true;
  }
  const uint8_t attributes = EntryAttributes(e);
  if (attributes == kAttrLongName) return state->longName.Prepend(e);
  // Every other entry uses up the long name gathered before it.
  const bool hasLongName = !state->longName.Empty();
  const std::string longName = hasLongName ? platform::WideToAnsi(state->longName.Name()) : "";
  state->longName.Clear();
  if (attributes & kAttrFolder) {
    HandleFolderEntry(e, hasLongName ? longName : ShortFolderName(e), state);
  } else if (attributes & kAttrArchive) {
    HandleFileEntry(e, hasLongName ? longName : ShortFileName(e), *state);
  }
  return logError_ == kErrorSuccess;
}

uint32_t CFastFatRecovery::EntryCluster(const uint8_t* e) const {
  const uint32_t low = EntryClusterLow(e);
  return geometry_.IsFat32() ? (uint32_t(EntryClusterHigh(e)) << 16) | low : low;
}

FoundEntry CFastFatRecovery::MakeRecord(const uint8_t* e, const std::string& name) const {
  FoundEntry record = MakeEmptyEntry();
  record.volumeTag = volumeTag_;
  record.engineKind = kEngineFatQuick;
  record.clusterBytes = static_cast<int32_t>(geometry_.ClusterBytes());
  const EntryTimes times = DecodeEntryTimes(e);
  record.created = times.created;
  record.accessed = times.accessed;
  record.modified = times.modified;
  record.dataAreaStart = geometry_.dataAreaStart;
  SetEntryNameAnsi(record, name);
  return record;
}

void CFastFatRecovery::HandleFolderEntry(const uint8_t* e, const std::string& name,
                                         WalkState* state) {
  if (IsDotEntry(e)) {
    const uint32_t self = EntryCluster(e);
    if (geometry_.IsDataCluster(self)) state->currentFolder = self;
    return;
  }
  if (IsDotDotEntry(e)) return;
  const bool deleted = IsDeletedEntry(e);
  uint32_t first = EntryCluster(e);
  if (geometry_.IsFat32() && deleted && EntryClusterHigh(e) == 0) {
    first |= uint32_t(GuessFolderClusterHigh(EntryClusterLow(e))) << 16;
  }
  if (first == state->currentFolder || !geometry_.IsDataCluster(first)) return;
  // A folder already walked keeps the record it was walked with, so an entry
  // naming an ancestor cannot hang the tree below its own descendant.
  if (visitedFolders_.Contains(first)) return;
  FolderRecord folder{MakeRecord(e, name), state->currentFolder};
  folder.entry.isFolder = 1;
  folder.entry.isDeleted = (deleted || state->inDeletedFolder) ? 1 : 0;
  folder.entry.id = first;
  pendingFolders_.push_back(first);
  folderTable_[first] = folder;
}

void CFastFatRecovery::HandleFileEntry(const uint8_t* e, const std::string& name,
                                       const WalkState& state) {
  const bool deleted = IsDeletedEntry(e);
  if (!deleted && !state.inDeletedFolder) return;
  FoundEntry record = MakeRecord(e, name);
  uint32_t first = EntryCluster(e);
  if (geometry_.IsFat32() && deleted && EntryClusterHigh(e) == 0) {
    first |= uint32_t(GuessFileClusterHigh(record.name, EntryClusterLow(e))) << 16;
  }
  record.id = first;
  record.size = EntrySize(e);
  record.entrySector = state.entrySector;
  record.volumeStart = volumeStart_;
  record.dataIntact = CheckContent(record);
  const int32_t seq = AppendToLog(record);
  if (seq == 0) return;
  const FolderKey key =
      MakeFolderKey(state.currentFolder, CachedFolderLevel(state.currentFolder));
  log_->AddRelation(key, seq, record.id, nullptr);
  ListFolderPath(state.currentFolder);
}

// Marks a folder and its ancestors as leading to a recorded file.
void CFastFatRecovery::ListFolderPath(uint32_t folder) {
  ClusterSet climbed;
  for (uint32_t current = folder;;) {
    if (listedSet_.insert(current).second) listedFolders_.push_back(current);
    if (!climbed.Insert(current)) return;
    const auto found = folderTable_.find(current);
    if (found == folderTable_.end()) return;
    const uint32_t parent = found->second.parent;
    if (parent == current || IsRootFolder(parent) || climbed.Contains(parent)) return;
    current = parent;
  }
}

void CFastFatRecovery::WriteFolderRecords() {
  for (const uint32_t cluster : listedFolders_) {
    const auto found = folderTable_.find(cluster);
    if (found == folderTable_.end()) continue;
    FoundEntry record = found->second.entry;
    record.dataIntact = 1;
    const int32_t seq = AppendToLog(record);
    if (seq == 0) return;
    const uint32_t parent = found->second.parent;
    log_->AddRelation(MakeFolderKey(parent, CachedFolderLevel(parent)), seq, record.id,
                      record.name);
  }
}

uint32_t CFastFatRecovery::CachedFolderLevel(uint32_t cluster) {
  const auto found = levelCache_.find(cluster);
  if (found != levelCache_.end()) return found->second;
  const uint32_t level = FolderLevel(cluster);
  levelCache_[cluster] = level;
  return level;
}

uint32_t CFastFatRecovery::FolderLevel(uint32_t cluster) {
  if (!open_) return 0;
  uint32_t level = 0;
  ClusterSet seen;
  std::vector<uint8_t> sector(geometry_.bytesPerSector);
  for (uint32_t current = cluster; !IsRootFolder(current);) {
    if (!geometry_.IsDataCluster(current) || !seen.Insert(current)) break;
    if (!ReadClusterSector(current, &sector)) break;
    const uint8_t* first = sector.data();
    const uint8_t* second = first + kDirEntryBytes;
    if (EntryAttributes(first) == kAttrVolumeLabel) break;
    if (first[0] != '.' || second[0] != '.' || second[1] != '.') break;
    ++level;
    const uint32_t parent = EntryCluster(second);
    if (parent == current) break;
    current = parent;
  }
  return level;
}

bool CFastFatRecovery::ReadClusterSector(uint32_t cluster, std::vector<uint8_t>* sector) const {
  return ReadVolumeSectors(geometry_.ClusterSector(cluster), 1, sector->data()) == kErrorSuccess;
}

uint16_t CFastFatRecovery::GuessFolderClusterHigh(uint16_t low) {
  std::vector<uint8_t> sector(geometry_.bytesPerSector);
  for (uint32_t high = 0; high <= 256; ++high) {
    const uint32_t cluster = (high << 16) | low;
    if (cluster > geometry_.LastCluster()) break;
    if (cluster < 2) continue;
    if (!ReadClusterSector(cluster, &sector)) break;
    if (sector[0] == '.' && sector[1] == ' ' && sector[0x20] == '.' && sector[0x21] == '.') {
      return static_cast<uint16_t>(high);
    }
  }
  return 0;
}

uint16_t CFastFatRecovery::GuessFileClusterHigh(const std::string& name, uint16_t low) {
  if (name.find('.') == std::string::npos) return 0;
  const std::string extension = NameExtension(name);
  std::vector<uint8_t> sector(geometry_.bytesPerSector);
  for (uint32_t high = 0; high <= 256; ++high) {
    const uint32_t cluster = (high << 16) | low;
    if (cluster > geometry_.LastCluster()) break;
    if (cluster < 2) continue;
    if (!ReadClusterSector(cluster, &sector)) break;
    const uint64_t absolute = AbsoluteSector(geometry_.ClusterSector(cluster));
    if (contentCheck_(sector.data(), geometry_.bytesPerSector, extension.c_str(), &source_,
                      geometry_.bytesPerSector, absolute) == 1) {
      return static_cast<uint16_t>(high);
    }
  }
  return 0;
}

uint32_t CFastFatRecovery::CheckContent(const FoundEntry& record) {
  FoundEntry copy = record;
  TerminateEntryName(copy);
  const std::string name = copy.name;
  if (name.find('.') == std::string::npos || record.size == 0) return 1;
  // A file with data but no first cluster has nothing usable.
  if (!geometry_.IsDataCluster(record.id)) return 0;
  std::vector<uint8_t> sector(geometry_.bytesPerSector);
  if (!ReadClusterSector(record.id, &sector)) return 1;
  const uint64_t absolute = AbsoluteSector(geometry_.ClusterSector(record.id));
  return contentCheck_(sector.data(), geometry_.bytesPerSector, NameExtension(name).c_str(),
                       &source_, geometry_.bytesPerSector, absolute) == 1
             ? 1
             : 0;
}

// ------------------------------------------------------------- results ----

WinError CFastFatRecovery::LogKey(const FoundEntry* folder, uint32_t level,
                                  FolderKey* key) const {
  if (!log_) return kErrorInvalidParameter;
  if (folder == nullptr && level != 0) return kErrorInvalidParameter;
  *key = (folder == nullptr || folder->id == 0) ? 0 : MakeFolderKey(folder->id, level);
  return kErrorSuccess;
}

WinError CFastFatRecovery::ListFolder(const FoundEntry* folder, uint32_t level,
                                      std::vector<FoundEntry>* out) {
  FolderKey key = 0;
  const WinError error = LogKey(folder, level, &key);
  if (error != kErrorSuccess) return error;
  log_->FlushLog();
  return log_->ListChildren(key, out);
}

WinError CFastFatRecovery::CountFiles(const FoundEntry* folder, uint32_t level,
                                      uint32_t* count) {
  FolderKey key = 0;
  const WinError error = LogKey(folder, level, &key);
  if (error != kErrorSuccess) return error;
  log_->FlushLog();
  return log_->CountFilesUnder(key, count);
}

uint64_t CFastFatRecovery::GetEntryCount() {
  return log_ ? static_cast<uint64_t>(std::max(0, log_->RecordCount())) : 0;
}

WinError CFastFatRecovery::GetEntryPath(const FoundEntry* entry, char16_t* out,
                                        uint32_t capacity) {
  if (!log_ || entry == nullptr) return kErrorInvalidParameter;
  log_->FlushLog();
  return log_->GetFolderPath(*entry, out, capacity);
}

WinError CFastFatRecovery::SetSearchCallback(SearchProgressFn progress, void* userData) {
  if (!log_) return kErrorInvalidParameter;
  log_->SetSearchProgress(progress, userData);
  return kErrorSuccess;
}

int32_t CFastFatRecovery::Search(const char16_t* text, std::vector<SearchHit>* out) {
  if (!log_) return 0;
  log_->FlushLog();
  return log_->SearchByExtension(text, out);
}

// --------------------------------------------------------- restoration ----

WinError CFastFatRecovery::Restore(const FoundEntry* entry, const char16_t* destination,
                                   uint32_t level) {
  if (destination == nullptr) return kErrorInvalidParameter;
  RestoreSource source(*this);
  return RestoreEntry(source, entry, destination, level, FileProgress{fileProgress_, userData_});
}

WinError CFastFatRecovery::RestoreOne(const FoundEntry* entry, const std::u16string& path) {
  if (entry == nullptr) return kErrorInvalidParameter;
  if (entry->isFolder) {
    const WinError error = platform::CreateFolder(path);
    return error == kErrorAlreadyExists ? kErrorSuccess : error;
  }
  RestoreSource source(*this);
  return RestoreOneFile(source, *entry, path, FileProgress{fileProgress_, userData_});
}

WinError CFastFatRecovery::ExtractForPreview(const FoundEntry* entry, char16_t* outPath,
                                             uint8_t* memory, uint32_t* byteCount,
                                             PreviewProgressFn progress, void* userData) {
  RestoreSource source(*this);
  return ExtractEntryForPreview(source, entry, outPath, memory, byteCount, progress, userData);
}

// ------------------------------------------------------ allocation map ----

WinError CFastFatRecovery::LoadAllocationMap() {
  allocationMap_.Reset(open_ ? geometry_.mapClusterCount : 0);
  const uint64_t last = uint64_t(allocationMap_.ClusterCount()) + 1;
  for (uint64_t cluster = 2; cluster <= last; ++cluster) {
    uint32_t value = 0;
    if (fat_.GetFatEntry(static_cast<uint32_t>(cluster), &value) != kErrorSuccess) continue;
    if (value == 0) continue;
    allocationMap_.MarkAllocated(static_cast<uint32_t>(cluster));
    // A pointer outside the map marks nothing more.
    if (!geometry_.IsEndOfChain(value) && !geometry_.IsBadCluster(value)) {
      allocationMap_.MarkAllocated(value);
    }
  }
  return kErrorSuccess;
}

int32_t CFastFatRecovery::NextFreeExtent(uint64_t* sector, uint64_t* count) {
  if (sector == nullptr || count == nullptr) return 0;
  allocationMap_.NextFreeExtent(sector, count, geometry_.dataAreaStart,
                                geometry_.sectorsPerCluster, volumeSectors_);
  return 1;
}
