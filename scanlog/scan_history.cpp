#include "scanlog/scan_history.h"

#include <algorithm>
#include <cstring>

#include "scanlog/log_io.h"
#include "storage/sector_source.h"

namespace {

constexpr char16_t kAppFolderName[] = u"Varnelle";
constexpr char16_t kScanLogFolderName[] = u"ScanLog";
constexpr char16_t kMarkerName[] = u"Used";
constexpr char16_t kConfigName[] = u"config";
constexpr char16_t kTempSuffix[] = u".tmp";

std::u16string AppFolder() { return platform::JoinPath(platform::AppDataBase(), kAppFolderName); }

char16_t FoldAsciiCase(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool EqualsIgnoringCase(const std::u16string& a, const std::u16string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return FoldAsciiCase(x) == FoldAsciiCase(y); });
}

bool IsSeparator(char16_t c) { return c == platform::kPathSeparator; }

// A stored 260-unit path as a string; the field is terminated on load.
std::u16string StoredPath(const char16_t (&field)[kHistoryPathChars]) {
  size_t length = 0;
  while (length < kHistoryPathChars && field[length] != 0) ++length;
  return std::u16string(field, length);
}

void StorePath(char16_t (&field)[kHistoryPathChars], const std::u16string& path) {
  const size_t length = std::min(path.size(), kHistoryPathChars - 1);
  std::memset(field, 0, sizeof field);
  std::memcpy(field, path.data(), length * sizeof(char16_t));
}

// Reads exactly `bytes`; false when fewer arrive.
bool ReadWhole(platform::FileHandle file, void* buffer, uint32_t bytes) {
  uint32_t read = 0;
  return ReadFully(file, buffer, bytes, &read) == kErrorSuccess && read == bytes;
}

// The volume's free bytes now; 0 when the tag is no drive letter or the
// query fails.
uint64_t CurrentFreeBytes(uint16_t volumeTag) {
  const bool isLetter =
      (volumeTag >= u'A' && volumeTag <= u'Z') || (volumeTag >= u'a' && volumeTag <= u'z');
  uint64_t bytes = 0;
  if (!isLetter || platform::GetVolumeFreeBytes(static_cast<char16_t>(volumeTag), &bytes) != 0)
    return 0;
  return bytes;
}

// The image file's last-write time; 0 when it cannot be opened.
uint64_t ImageWriteTime(const std::u16string& imagePath) {
  platform::FileHandle file = platform::kInvalidHandle;
  if (platform::OpenFile(imagePath, platform::Access::Read, platform::Disposition::OpenExisting,
                         &file) != kErrorSuccess)
    return 0;
  uint64_t time = 0;
  if (platform::GetFileWriteTime(file, &time) != kErrorSuccess) time = 0;
  platform::CloseFile(file);
  return time;
}

bool EndsWith(const std::u16string& text, const std::u16string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

CScanHistory::CScanHistory() : historyRoot_(platform::JoinPath(AppFolder(), kScanLogFolderName)) {}

std::u16string CScanHistory::ConfigPath() const {
  return platform::JoinPath(historyRoot_, kConfigName);
}

std::u16string CScanHistory::NumberedFolder(uint64_t number) const {
  std::u16string folder =
      platform::JoinPath(historyRoot_, platform::Utf8ToUtf16(std::to_string(number)));
  folder += platform::kPathSeparator;
  return folder;
}

// Only what NewScanFolder hands out may ever be deleted: historyRoot, one
// separator, decimal digits, one separator (letter case ignored).
bool CScanHistory::IsNumberedScanFolder(const std::u16string& folder) const {
  std::u16string prefix = historyRoot_;
  prefix += platform::kPathSeparator;
  if (folder.size() < prefix.size() + 2) return false;
  if (!EqualsIgnoringCase(folder.substr(0, prefix.size()), prefix)) return false;
  if (!IsSeparator(folder.back())) return false;
  for (size_t i = prefix.size(); i + 1 < folder.size(); ++i)
    if (folder[i] < u'0' || folder[i] > u'9') return false;
  return true;
}

void CScanHistory::LoadHistory() {
  entries_.clear();
  scanCounter_ = 0;
  const std::u16string config = ConfigPath();
  const std::u16string temp = config + kTempSuffix;
  // A save that stopped after "config" went but before the new one took its
  // place left only "config.tmp": finish it.
  if (!platform::PathExists(config) && platform::PathExists(temp))
    platform::ReplaceFile(temp, config);

  platform::FileHandle file = platform::kInvalidHandle;
  if (platform::OpenFile(config, platform::Access::Read, platform::Disposition::OpenExisting,
                         &file) != kErrorSuccess)
    return;
  uint64_t counter = 0;
  if (ReadWhole(file, &counter, sizeof counter)) {
    scanCounter_ = counter;
    // Only entries read whole are kept: a short tail or a failed read ends it.
    ScanHistoryEntry entry;
    while (ReadWhole(file, &entry, sizeof entry)) {
      entry.imagePath[kHistoryPathChars - 1] = 0;
      entry.scanFolder[kHistoryPathChars - 1] = 0;
      entries_.push_back(entry);
    }
  }
  platform::CloseFile(file);
}

WinError CScanHistory::SaveHistory() {
  platform::CreateFolderTree(historyRoot_);
  const std::u16string config = ConfigPath();
  const std::u16string temp = config + kTempSuffix;

  std::vector<uint8_t> bytes(sizeof scanCounter_ + entries_.size() * sizeof(ScanHistoryEntry));
  std::memcpy(bytes.data(), &scanCounter_, sizeof scanCounter_);
  if (!entries_.empty())
    std::memcpy(bytes.data() + sizeof scanCounter_, entries_.data(),
                entries_.size() * sizeof(ScanHistoryEntry));

  platform::FileHandle file = platform::kInvalidHandle;
  WinError error = platform::OpenFile(temp, platform::Access::ReadWrite,
                                      platform::Disposition::CreateAlways, &file);
  if (error != kErrorSuccess) return error;
  uint32_t written = 0;
  error = logio::WriteAll(platform::WriteSome, file, bytes.data(),
                          static_cast<uint32_t>(bytes.size()), &written);
  if (error == kErrorSuccess) error = platform::FlushFile(file);
  platform::CloseFile(file);
  // "config" is replaced only by a complete, flushed "config.tmp".
  if (error == kErrorSuccess) error = platform::ReplaceFile(temp, config);
  if (error != kErrorSuccess) platform::DeleteFile(temp);
  return error;
}

std::vector<ScanHistoryEntry>::iterator CScanHistory::FindDisk(uint32_t diskNumber,
                                                               uint64_t firstSector,
                                                               uint64_t sectorCount) {
  return std::find_if(entries_.begin(), entries_.end(), [&](const ScanHistoryEntry& e) {
    return e.diskNumber == static_cast<int32_t>(diskNumber) && e.firstSector == firstSector &&
           e.sectorCount == sectorCount;
  });
}

std::vector<ScanHistoryEntry>::iterator CScanHistory::FindImage(const std::u16string& imagePath) {
  return std::find_if(entries_.begin(), entries_.end(), [&](const ScanHistoryEntry& e) {
    return StoredPath(e.imagePath) == imagePath;
  });
}

void CScanHistory::Remember(const ScanHistoryEntry* entry) {
  folderRemembered_ = entry != nullptr;
  rememberedFolder_ = entry ? StoredPath(entry->scanFolder) : std::u16string();
}

int32_t CScanHistory::AnswerLookup(std::vector<ScanHistoryEntry>::iterator found, bool unchanged,
                                   ScanHistoryEntry* out) {
  if (found != entries_.end() && unchanged) {
    if (out) *out = *found;
    Remember(&*found);
    return 1;
  }
  // The source was written to since: its saved scan no longer fits it.
  if (found != entries_.end()) DeleteHistoryEntry(StoredPath(found->scanFolder));
  Remember(nullptr);
  return 0;
}

int32_t CScanHistory::FindDiskEntry(uint32_t diskNumber, uint64_t firstSector, uint64_t sectorCount,
                                    uint16_t volumeTag, ScanHistoryEntry* out) {
  const uint64_t freeBytes = CurrentFreeBytes(volumeTag);
  const auto found = FindDisk(diskNumber, firstSector, sectorCount);
  return AnswerLookup(found, found != entries_.end() && found->freeBytes == freeBytes, out);
}

int32_t CScanHistory::FindImageEntry(const std::u16string& imagePath, ScanHistoryEntry* out) {
  const uint64_t writeTime = ImageWriteTime(imagePath);
  const auto found = FindImage(imagePath);
  return AnswerLookup(found, found != entries_.end() && found->imageWriteTime == writeTime, out);
}

std::u16string CScanHistory::GetScanFolder() const {
  return folderRemembered_ ? rememberedFolder_ : NumberedFolder(scanCounter_);
}

void CScanHistory::GetScanFolder(char16_t* out, size_t capacity) const {
  if (capacity == 0) return;
  const std::u16string folder = GetScanFolder();
  const size_t length = std::min(folder.size(), capacity - 1);
  std::memcpy(out, folder.data(), length * sizeof(char16_t));
  out[length] = 0;
}

void CScanHistory::NewScanFolder() {
  ++scanCounter_;
  folderRemembered_ = false;
  rememberedFolder_.clear();
  // A folder of this number left from an abandoned scan or a lost history
  // goes, with any entry that still names it.
  DeleteHistoryEntry(NumberedFolder(scanCounter_));
}

// The counter never wraps below 0 (a release without a matching take).
void CScanHistory::ReleaseScanFolder() {
  if (scanCounter_ > 0) --scanCounter_;
}

WinError CScanHistory::RecordDeepScan(uint16_t volumeTag, int32_t diskNumber, uint64_t firstSector,
                                      uint64_t sectorCount, uint64_t extentStart,
                                      uint64_t extentLength, uint64_t extentOffset,
                                      uint64_t sectorsDone, uint64_t filesFound,
                                      const std::u16string& scanFolder,
                                      const std::u16string& imagePath) {
  const bool isImage = !imagePath.empty();
  const uint64_t stamp = isImage ? ImageWriteTime(imagePath) : CurrentFreeBytes(volumeTag);
  auto found = isImage ? FindImage(imagePath)
                       : FindDisk(static_cast<uint32_t>(diskNumber), firstSector, sectorCount);
  if (found != entries_.end() && stamp != (isImage ? found->imageWriteTime : found->freeBytes)) {
    // The source changed while it was scanned. The stale entry goes; its
    // folder is deleted only when it is not the one holding the logs just
    // written, and a new entry describes those logs.
    const std::u16string staleFolder = StoredPath(found->scanFolder);
    if (EqualsIgnoringCase(staleFolder, scanFolder))
      entries_.erase(found);
    else
      DeleteHistoryEntry(staleFolder);
    found = entries_.end();
  }
  if (found == entries_.end()) {
    ScanHistoryEntry entry;
    std::memset(&entry, 0, sizeof entry);
    entry.diskNumber = diskNumber;
    entry.firstSector = firstSector;
    entry.sectorCount = sectorCount;
    entry.freeBytes = isImage ? 0 : stamp;
    entry.imageWriteTime = isImage ? stamp : 0;
    StorePath(entry.imagePath, imagePath);
    StorePath(entry.scanFolder, scanFolder);
    entries_.push_back(entry);
    found = entries_.end() - 1;
  }
  found->extentStart = extentStart;
  found->extentLength = extentLength;
  found->extentOffset = extentOffset;
  found->sectorsDone = sectorsDone;
  found->filesFound = filesFound;
  return SaveHistory();
}

WinError CScanHistory::DeleteHistoryEntry(const std::u16string& folder) {
  const auto entry = std::find_if(entries_.begin(), entries_.end(), [&](const ScanHistoryEntry& e) {
    return EqualsIgnoringCase(StoredPath(e.scanFolder), folder);
  });
  if (entry != entries_.end()) entries_.erase(entry);
  if (!platform::PathExists(folder)) return kErrorSuccess;
  // A damaged or foreign history must never make us delete other folders.
  if (!IsNumberedScanFolder(folder)) return kErrorAccessDenied;
  return platform::DeleteTree(folder.substr(0, folder.size() - 1));
}

WinError CScanHistory::FindLogFile(const std::u16string& prefix, std::u16string* outName,
                                   const std::u16string& folder) const {
  std::vector<platform::FolderItem> items;
  const WinError error = platform::ListFolder(folder, &items);
  if (error != kErrorSuccess) return error;
  for (const auto& item : items) {
    if (item.isFolder || item.name.empty() || item.name[0] == u'.') continue;
    if (item.name.find(prefix) == std::u16string::npos) continue;
    // The companions carry the prefix too; only a main file may be returned.
    if (EndsWith(item.name, u"_Relation") || EndsWith(item.name, u"_DirInfo")) continue;
    *outName = item.name;
    break;
  }
  return kErrorSuccess;
}

void CScanHistory::EnsureUsedMarker() {
  const std::u16string appFolder = AppFolder();
  const std::u16string marker = platform::JoinPath(appFolder, kMarkerName);
  if (platform::PathExists(marker)) return;
  platform::CreateFolderTree(appFolder);
  platform::FileHandle file = platform::kInvalidHandle;
  if (platform::OpenFile(marker, platform::Access::ReadWrite, platform::Disposition::CreateNew,
                         &file) == kErrorSuccess)
    platform::CloseFile(file);
}

namespace {
CScanHistory LoadedHistory() {
  CScanHistory history;
  history.LoadHistory();
  return history;
}
}  // namespace

CScanHistory& GetScanHistory() {
  static CScanHistory history = LoadedHistory();
  return history;
}

void ReloadScanHistory() { GetScanHistory() = LoadedHistory(); }
