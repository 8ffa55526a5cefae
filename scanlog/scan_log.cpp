#include "scanlog/scan_log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <set>
#include <string_view>

#include "carving/type_lists.h"
#include "scanlog/scan_history.h"
#include "storage/sector_source.h"

namespace {

constexpr WinError kErrorInsufficientBuffer = 122;
constexpr size_t kSearchTextBytes = 4096;

// ------------------------------------------------------------ names ----

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

// _stricmp on 8-bit names: ASCII letters compared without case.
int CompareNamesIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const auto x = static_cast<unsigned char>(FoldAscii(*a));
    const auto y = static_cast<unsigned char>(FoldAscii(*b));
    if (x != y || x == 0) return int(x) - int(y);
  }
}

// Files before folders, then by name ignoring case.
bool ListsBefore(const FoundEntry& a, const FoundEntry& b) {
  if ((a.isFolder != 0) != (b.isFolder != 0)) return a.isFolder == 0;
  return CompareNamesIgnoringCase(a.name, b.name) < 0;
}

// A photo whose data is known to be damaged is kept out of listings and
// searches (it is still counted).
bool IsHiddenDamagedPhoto(const FoundEntry& record) {
  if (record.dataIntact != 0) return false;
  const std::string name(record.name);
  return NameHasExtensionDot(name) && MatchesTypeList(NameExtension(name), TypeList::Photo);
}

std::u16string AsciiToUtf16(const char* text) {
  std::u16string out;
  for (; *text; ++text) out += static_cast<char16_t>(static_cast<unsigned char>(*text));
  return out;
}

// ---------------------------------------------------- relation text ----

size_t FindText(std::string_view buffer, std::string_view text, size_t from) {
  return from > buffer.size() ? std::string_view::npos : buffer.find(text, from);
}

// atoi-style number of buffer[from, to): leading spaces, a sign, digits; the
// value wraps modulo 2^64 so the writer's unsigned keys read back exactly.
uint64_t ParseNumber(std::string_view buffer, size_t from, size_t to) {
  while (from < to && (buffer[from] == ' ' || buffer[from] == '\t')) ++from;
  bool negative = false;
  if (from < to && (buffer[from] == '-' || buffer[from] == '+')) negative = buffer[from++] == '-';
  uint64_t value = 0;
  for (; from < to && buffer[from] >= '0' && buffer[from] <= '9'; ++from)
    value = value * 10 + static_cast<uint64_t>(buffer[from] - '0');
  return negative ? 0 - value : value;
}

int32_t LowWord(uint64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

}  // namespace

// ------------------------------------------------------------ naming ----

std::u16string FormatLogName(const char16_t* prefix, int64_t firstSector,
                             const platform::LocalTime& time) {
  char digits[96];
  std::snprintf(digits, sizeof digits, "%lld_%d%d%d%d%2d", static_cast<long long>(firstSector),
                time.year, time.month, time.day, time.hour, time.minute);
  return std::u16string(prefix) + AsciiToUtf16(digits);
}

// ---------------------------------------------------------- lifetime ----

CScanLog::CScanLog() = default;

CScanLog::~CScanLog() { CloseLog(); }

bool CScanLog::IsOpen() const {
  return mainFile_ != platform::kInvalidHandle || relationFile_ != platform::kInvalidHandle ||
         dirInfoFile_ != platform::kInvalidHandle;
}

WinError CScanLog::OpenLog(const std::u16string& name) {
  CloseLog();
  recordsAtOpen_ = 0;
  recordCount_ = 0;
  bytesAppended_ = 0;
  mainFileBytes_ = 0;
  pendingWriteError_ = kErrorSuccess;
  const std::u16string folder = GetScanHistory().GetScanFolder();
  if (!platform::IsFolder(folder)) {
    const WinError error = platform::CreateFolderTree(folder);
    if (error != kErrorSuccess && error != kErrorFileExists && error != kErrorAlreadyExists)
      return error;
  }
  mainPath_ = platform::JoinPath(folder, name);
  relationPath_ = mainPath_ + kRelationSuffix;
  dirInfoPath_ = mainPath_ + kDirInfoSuffix;

  WinError error = OpenLogFile(mainPath_, &mainFile_);
  if (error == kErrorSuccess) error = OpenLogFile(relationPath_, &relationFile_);
  if (error == kErrorSuccess) error = PositionAfterWholeRecords();
  if (error != kErrorSuccess) return error;
  error = LoadRelation();
  if (error != kErrorSuccess) return error;

  WinError result = kErrorSuccess;
  try {
    buffer_.assign(capacity_, 0);
  } catch (const std::bad_alloc&) {
    result = kErrorNotEnoughMemory;
  }
  if (OpenLogFile(dirInfoPath_, &dirInfoFile_) == kErrorSuccess) LoadDirInfo();
  return result;
}

WinError CScanLog::OpenLogFile(const std::u16string& path, platform::FileHandle* handle) {
  return platform::OpenFile(path, platform::Access::ReadWrite, platform::Disposition::OpenAlways,
                            handle);
}

// New records go right behind the last whole record: an incomplete trailing
// record (a crash in the middle of a write) is cut off, so every record
// appended now lies at (number - 1) x 346.
WinError CScanLog::PositionAfterWholeRecords() {
  uint64_t size = 0;
  WinError error = platform::GetFileSize(mainFile_, &size);
  if (error != kErrorSuccess) return error;
  mainFileBytes_ = size / kLogRecordBytes * kLogRecordBytes;
  if (mainFileBytes_ != size) {
    error = platform::SetFileLength(mainFile_, mainFileBytes_);
    if (error != kErrorSuccess) return error;
  }
  recordsAtOpen_ = static_cast<int32_t>(mainFileBytes_ / kLogRecordBytes);
  return platform::Seek(mainFile_, mainFileBytes_);
}

// Reads a whole companion file; false when it is empty or cannot be read.
bool CScanLog::ReadCompanion(platform::FileHandle file, std::vector<char>* bytes) {
  uint64_t size = 0;
  if (platform::GetFileSize(file, &size) != kErrorSuccess || size == 0 || size > UINT32_MAX)
    return false;
  try {
    bytes->resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  uint32_t read = 0;
  const bool whole =
      platform::Seek(file, 0) == kErrorSuccess &&
      ReadFully(file, bytes->data(), static_cast<uint32_t>(size), &read) == kErrorSuccess &&
      read == size;
  platform::Seek(file, 0);
  return whole;
}

WinError CScanLog::LoadRelation() {
  uint64_t size = 0;
  const WinError error = platform::GetFileSize(relationFile_, &size);
  if (error != kErrorSuccess) return error;
  std::vector<char> text;
  if (ReadCompanion(relationFile_, &text))
    ParseRelation(std::string_view(text.data(), text.size()));
  indexesValid_ = false;
  return kErrorSuccess;
}

// " | key - [n,n,...]" entries; anything between entries is skipped, and no
// search ever leaves the buffer (it is not NUL-terminated).
void CScanLog::ParseRelation(std::string_view text) {
  size_t entry = FindText(text, " | ", 0);
  while (entry != std::string_view::npos) {
    const size_t keyStart = entry + 3;
    const FolderKey key = ParseNumber(text, keyStart, text.size());
    const size_t list = FindText(text, "- [", keyStart);
    if (list == std::string_view::npos) return;
    std::vector<int32_t> numbers;
    size_t numberStart = list + 3;
    size_t end = std::string_view::npos;
    for (size_t i = numberStart; i < text.size() && end == std::string_view::npos; ++i) {
      if (text[i] != ',' && text[i] != ']') continue;
      numbers.push_back(LowWord(ParseNumber(text, numberStart, i)));
      numberStart = i + 1;
      if (text[i] == ']') end = i;
    }
    if (numbers.empty())
      relations_.erase(key);
    else
      relations_[key] = std::move(numbers);
    if (end == std::string_view::npos) return;  // cut off before its "]"
    entry = FindText(text, " | ", end);
  }
}

void CScanLog::LoadDirInfo() {
  std::vector<char> bytes;
  if (!ReadCompanion(dirInfoFile_, &bytes)) return;
  const size_t whole = bytes.size() / sizeof(DirInfoEntry);
  for (size_t i = 0; i < whole; ++i) {
    DirInfoEntry entry;
    std::memcpy(&entry, bytes.data() + i * sizeof(DirInfoEntry), sizeof entry);
    entry.name[kFoundEntryNameBytes - 1] = 0;
    directories_.push_back(entry);
  }
}

void CScanLog::CloseLog() {
  if (!IsOpen()) return;
  FlushLog();
  std::vector<uint8_t>().swap(buffer_);
  bufferedBytes_ = 0;
  for (platform::FileHandle* file : {&mainFile_, &relationFile_, &dirInfoFile_}) {
    platform::CloseFile(*file);
    *file = platform::kInvalidHandle;
  }
  relations_.clear();
  directories_.clear();
  indexesValid_ = false;
}

// ---------------------------------------------------------- writing ----

int32_t CScanLog::AppendRecord(const FoundEntry& record) {
  if (buffer_.empty()) {
    pendingWriteError_ =
        mainFile_ == platform::kInvalidHandle ? kErrorInvalidHandle : kErrorNotEnoughMemory;
    return 0;
  }
  // A full buffer is written; a failed write is tried once more at once. When
  // it still fails the buffer keeps its records for the next try and this
  // record is refused: no number is handed out for a record not kept.
  if (bufferedBytes_ + kLogRecordBytes > capacity_ && WriteBuffer() != kErrorSuccess &&
      WriteBuffer() != kErrorSuccess)
    return 0;
  const int32_t number = recordsAtOpen_ + recordCount_ + 1;
  FoundEntry stored = record;
  stored.seq = static_cast<uint32_t>(number);
  std::memcpy(buffer_.data() + bufferedBytes_, &stored, sizeof stored);
  bufferedBytes_ += kLogRecordBytes;
  ++recordCount_;
  bytesAppended_ += kLogRecordBytes;
  return number;
}

// Writes the buffered bytes behind what the main file holds. On failure the
// bytes that did not arrive stay buffered (in front) for the next attempt.
WinError CScanLog::WriteBuffer() {
  uint32_t written = 0;
  WinError error = platform::Seek(mainFile_, mainFileBytes_);
  if (error == kErrorSuccess)
    error = logio::WriteAll(write_, mainFile_, buffer_.data(), bufferedBytes_, &written);
  mainFileBytes_ += written;
  bufferedBytes_ -= written;
  std::memmove(buffer_.data(), buffer_.data() + written, bufferedBytes_);
  pendingWriteError_ = error;
  return error;
}

void CScanLog::AddRelation(FolderKey key, int32_t recordNumber, uint32_t entryId,
                           const char* name) {
  relations_[key].push_back(recordNumber);
  if (name != nullptr) {
    FoundEntry named = MakeEmptyEntry();
    SetEntryNameAnsi(named, std::string(name, strnlen(name, kFoundEntryNameBytes - 1)));
    DirInfoEntry entry;
    entry.id = static_cast<int32_t>(entryId);
    entry.seq = recordNumber;
    std::memcpy(entry.name, named.name, sizeof entry.name);
    directories_.push_back(entry);
  }
  indexesValid_ = false;
}

WinError CScanLog::FlushLog() {
  if (mainFile_ == platform::kInvalidHandle) return kErrorInvalidHandle;
  if (bufferedBytes_ != 0) {
    const WinError error = WriteBuffer();
    if (error != kErrorSuccess) return error;
  }
  const WinError relationError = RewriteRelation();
  const WinError dirInfoError = RewriteDirInfo();
  return dirInfoError != kErrorSuccess ? dirInfoError : relationError;
}

// Rewrites a companion file from byte 0 and cuts it behind what was written,
// so no older, longer content survives to be read back.
WinError CScanLog::RewriteCompanion(platform::FileHandle file, const void* bytes, uint32_t count) {
  if (file == platform::kInvalidHandle) return kErrorInvalidHandle;
  uint32_t written = 0;
  WinError error = platform::Seek(file, 0);
  if (error == kErrorSuccess)
    error = logio::WriteAll(platform::WriteSome, file, bytes, count, &written);
  if (error == kErrorSuccess) error = platform::SetFileLength(file, written);
  platform::Seek(file, 0);
  return error;
}

WinError CScanLog::RewriteRelation() {
  std::string text;
  for (const auto& [key, numbers] : relations_) {
    if (numbers.empty()) continue;
    text += " | " + std::to_string(key) + " - [";
    for (size_t i = 0; i < numbers.size(); ++i) {
      if (i != 0) text += ',';
      text += std::to_string(numbers[i]);
    }
    text += ']';
  }
  return RewriteCompanion(relationFile_, text.data(), static_cast<uint32_t>(text.size()));
}

WinError CScanLog::RewriteDirInfo() {
  return RewriteCompanion(dirInfoFile_, directories_.data(),
                          static_cast<uint32_t>(directories_.size() * sizeof(DirInfoEntry)));
}

// ---------------------------------------------------------- reading ----

const std::vector<int32_t>* CScanLog::NumbersFiledUnder(FolderKey key) const {
  if (relations_.empty()) return nullptr;
  if (key == 0) return &relations_.begin()->second;
  const auto found = relations_.find(key);
  return found == relations_.end() ? nullptr : &found->second;
}

// Reads record `number` from the main file. A number outside the records
// that reached the file (never written, or lost in a failed write) is not a
// record: *present is false and nothing is read.
WinError CScanLog::ReadRecord(int32_t number, FoundEntry* out, bool* present) {
  *present = false;
  if (number < 1 || static_cast<uint64_t>(number) * kLogRecordBytes > mainFileBytes_)
    return kErrorSuccess;
  uint32_t read = 0;
  WinError error = platform::Seek(mainFile_, static_cast<uint64_t>(number - 1) * kLogRecordBytes);
  if (error == kErrorSuccess) error = ReadFully(mainFile_, out, kLogRecordBytes, &read);
  if (error == kErrorSuccess && read != kLogRecordBytes) error = kErrorReadFault;
  if (error != kErrorSuccess) return error;
  TerminateEntryName(*out);
  *present = true;
  return kErrorSuccess;
}

WinError CScanLog::ListChildren(FolderKey key, std::vector<FoundEntry>* records) {
  WinError error = kErrorSuccess;
  if (const std::vector<int32_t>* numbers = NumbersFiledUnder(key)) {
    for (const int32_t number : *numbers) {
      FoundEntry record;
      bool present = false;
      error = ReadRecord(number, &record, &present);
      if (error != kErrorSuccess) break;
      if (present && !IsHiddenDamagedPhoto(record)) records->push_back(record);
    }
  }
  if (records->size() >= 2) std::sort(records->begin(), records->end(), ListsBefore);
  return error;
}

// Walks the tree breadth first. Each key is visited once, so a log whose
// folders are filed twice (or a crafted one) is still counted in bounded time.
WinError CScanLog::CountFilesUnder(FolderKey key, uint32_t* count) {
  *count = 0;
  WinError lastError = kErrorSuccess;
  std::vector<FolderKey> queue{key};
  std::set<FolderKey> visited;
  for (size_t next = 0; next < queue.size(); ++next) {
    const FolderKey current = queue[next];
    if (!visited.insert(current).second) continue;
    const std::vector<int32_t>* numbers = NumbersFiledUnder(current);
    if (numbers == nullptr) continue;
    const uint32_t childLevel = static_cast<uint32_t>(current >> 32) + 1;
    for (const int32_t number : *numbers) {
      FoundEntry record;
      bool present = false;
      const WinError error = ReadRecord(number, &record, &present);
      if (error != kErrorSuccess) {
        lastError = error;
        break;
      }
      if (!present) continue;
      if (record.isFolder != 0)
        queue.push_back(MakeFolderKey(record.id, childLevel));
      else
        ++*count;
    }
  }
  return lastError;
}

// Reads the main file from its start through a second handle in chunks of
// 200 records; only whole records count. `visit` returns false to stop;
// `afterChunk` gets the bytes read so far and returns false to stop.
template <typename Visit, typename AfterChunk>
WinError CScanLog::ForEachStoredRecord(Visit visit, AfterChunk afterChunk) {
  platform::FileHandle file = platform::kInvalidHandle;
  const WinError error = platform::OpenFile(mainPath_, platform::Access::Read,
                                            platform::Disposition::OpenExisting, &file);
  if (error != kErrorSuccess) return error;
  std::vector<uint8_t> chunk(kLogBufferBytes);
  uint64_t bytesRead = 0;
  bool goOn = true;
  while (goOn) {
    uint32_t read = 0;
    ReadFully(file, chunk.data(), kLogBufferBytes, &read);
    bytesRead += read;
    for (uint32_t at = 0; goOn && at + kLogRecordBytes <= read; at += kLogRecordBytes) {
      FoundEntry record;
      std::memcpy(&record, chunk.data() + at, sizeof record);
      TerminateEntryName(record);
      goOn = visit(record);
    }
    if (goOn && read > 0) goOn = afterChunk(bytesRead);
    if (read < kLogBufferBytes) break;
  }
  platform::CloseFile(file);
  return kErrorSuccess;
}

WinError CScanLog::FindDirectoryRecord(uint32_t entryId, FoundEntry* out) {
  bool found = false;
  const WinError error = ForEachStoredRecord(
      [&](const FoundEntry& record) {
        found = record.id == entryId && record.isFolder != 0;
        if (found) *out = record;
        return !found;
      },
      [](uint64_t) { return true; });
  if (error != kErrorSuccess) return error;
  return found ? kErrorSuccess : kErrorInvalidParameter;
}

// The smallest key filing each record number, and the first directory entry
// of each id: built on demand, dropped whenever the map or list changes.
void CScanLog::BuildIndexes() {
  if (indexesValid_) return;
  keyOfRecord_.clear();
  directoryOfId_.clear();
  for (const auto& [key, numbers] : relations_)
    for (const int32_t number : numbers) keyOfRecord_.emplace(number, key);
  for (size_t i = 0; i < directories_.size(); ++i)
    directoryOfId_.emplace(int32_t{directories_[i].id}, i);
  indexesValid_ = true;
}

WinError CScanLog::GetAncestors(const FoundEntry& record, std::vector<FoundEntry>* ancestors) {
  BuildIndexes();
  if (relations_.empty()) return kErrorSuccess;
  const FolderKey rootKey = relations_.begin()->first;
  std::set<uint32_t> seen;
  for (const FoundEntry& earlier : *ancestors) seen.insert(uint32_t{earlier.seq});
  int32_t child = static_cast<int32_t>(record.seq);
  seen.insert(uint32_t{record.seq});
  for (;;) {
    const auto filed = keyOfRecord_.find(child);
    if (filed == keyOfRecord_.end() || filed->second == rootKey) return kErrorSuccess;
    const uint32_t parentId = static_cast<uint32_t>(filed->second);
    FoundEntry parent = MakeEmptyEntry();
    const auto directory = directoryOfId_.find(static_cast<int32_t>(parentId));
    if (directory != directoryOfId_.end()) {
      const DirInfoEntry& entry = directories_[directory->second];
      parent.seq = static_cast<uint32_t>(entry.seq);
      std::memcpy(parent.name, entry.name, sizeof parent.name);
      TerminateEntryName(parent);
    } else {
      const WinError error = FindDirectoryRecord(parentId, &parent);
      if (error != kErrorSuccess) return error;
    }
    // A chain never repeats a folder, so a damaged log cannot make it loop.
    if (!seen.insert(uint32_t{parent.seq}).second) return kErrorSuccess;
    ancestors->push_back(parent);
    child = static_cast<int32_t>(parent.seq);
  }
}

std::string CScanLog::AncestorPath(const FoundEntry& record) {
  std::vector<FoundEntry> ancestors;
  GetAncestors(record, &ancestors);
  std::string path;
  for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) {
    path += it->name;
    path += '\\';
  }
  return path;
}

WinError CScanLog::GetFolderPath(const FoundEntry& record, char16_t* out, uint32_t capacity) {
  const std::u16string path = platform::AnsiToWide(AncestorPath(record));
  if (out == nullptr || path.size() >= capacity) return kErrorInsufficientBuffer;
  std::memcpy(out, path.data(), path.size() * sizeof(char16_t));
  out[path.size()] = 0;
  return kErrorSuccess;
}

namespace {

// The start of a hit's path: "\" for tags of 1000 and more, "C:\" for a
// drive letter, otherwise the tag's number, ":\".
std::string VolumePrefix(uint16_t volumeTag) {
  if (volumeTag >= 1000) return "\\";
  if ((volumeTag >= 'A' && volumeTag <= 'Z') || (volumeTag >= 'a' && volumeTag <= 'z'))
    return std::string(1, static_cast<char>(volumeTag)) + ":\\";
  return std::to_string(volumeTag) + ":\\";
}

}  // namespace

bool CScanLog::MatchesSearch(const FoundEntry& record, const std::string& searchText) {
  if (record.isFolder != 0) return false;
  const std::string name(record.name);
  std::string extension = NameExtension(name);
  if (!NameHasExtensionDot(name) || extension.empty()) return false;
  if (IsHiddenDamagedPhoto(record)) return false;
  std::transform(extension.begin(), extension.end(), extension.begin(), FoldAscii);
  return searchText.find(extension) != std::string::npos;
}

int32_t CScanLog::SearchByExtension(const char16_t* text, std::vector<SearchHit>* hits) {
  std::string searchText = platform::WideToAnsi(text ? std::u16string(text) : std::u16string());
  if (searchText.size() >= kSearchTextBytes) searchText.clear();  // too long: matches nothing
  FlushLog();
  uint64_t fileSize = 0;
  if (mainFile_ != platform::kInvalidHandle) platform::GetFileSize(mainFile_, &fileSize);

  const WinError error = ForEachStoredRecord(
      [&](const FoundEntry& record) {
        if (!searchText.empty() && MatchesSearch(record, searchText))
          hits->push_back(MakeHit(record));
        return true;
      },
      [&](uint64_t bytesRead) {
        if (searchProgress_ == nullptr) return true;
        const uint64_t percent =
            fileSize == 0 ? 100 : std::min<uint64_t>(100, bytesRead * 100 / fileSize);
        return searchProgress_(searchUserData_, static_cast<int32_t>(percent), 0) == 0;
      });
  if (error != kErrorSuccess) return error;
  if (hits->size() >= 2)
    std::sort(hits->begin(), hits->end(),
              [](const SearchHit& a, const SearchHit& b) { return ListsBefore(a.entry, b.entry); });
  return 1;
}

SearchHit CScanLog::MakeHit(const FoundEntry& record) {
  SearchHit hit;
  std::memset(&hit, 0, sizeof hit);
  hit.entry = record;
  const std::u16string path =
      platform::AnsiToWide(VolumePrefix(record.volumeTag) + AncestorPath(record));
  if (path.size() < kSearchHitPathChars)
    std::memcpy(hit.path, path.data(), path.size() * sizeof(char16_t));
  return hit;
}

void CScanLog::SetSearchProgress(SearchProgressFn progress, void* userData) {
  searchProgress_ = progress;
  searchUserData_ = userData;
}
