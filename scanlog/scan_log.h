// The scan log: the three files in which one engine keeps what a scan found.
//
//   <name>            FoundEntry records of 346 bytes, record n at (n - 1) x 346
//   <name>_Relation   text " | key - [n,n,...]" per folder key, ascending keys
//   <name>_DirInfo    DirInfoEntry pieces of 268 bytes (id, seq, name)
//
// The log lives in the scan folder that the scan history hands out. It is a
// passive store: no threads, no locks; its owning engine drives it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engines/engine_contract.h"
#include "engines/found_entry.h"
#include "platform/platform.h"
#include "scanlog/log_io.h"
#include "scanlog/search_hit.h"

// Name prefixes of the main files; the history finds logs again by them.
constexpr char16_t kLogPrefixFast[] = u"Fast_";
constexpr char16_t kLogPrefixProFat[] = u"Pro_Fat_";
constexpr char16_t kLogPrefixProNtfs[] = u"Pro_Ntfs_";
constexpr char16_t kLogPrefixFileType[] = u"File_Type_";

constexpr char16_t kRelationSuffix[] = u"_Relation";
constexpr char16_t kDirInfoSuffix[] = u"_DirInfo";

constexpr uint32_t kLogRecordBytes = 346;
constexpr uint32_t kLogBufferRecords = 200;
constexpr uint32_t kLogBufferBytes = kLogRecordBytes * kLogBufferRecords;  // 69,200

// One folder record named in the _DirInfo file.
#pragma pack(push, 1)
struct DirInfoEntry {
  int32_t id;   // the folder's id
  int32_t seq;  // the folder's record number in the main file
  char name[kFoundEntryNameBytes];
};
#pragma pack(pop)
static_assert(sizeof(DirInfoEntry) == 268, "DirInfoEntry is stored as 268 packed bytes");

// The main file name of a new log: prefix, then "%lld_%d%d%d%d%2d" of the
// volume's first sector and the local year, month, day, hour and minute (the
// minute space-padded to two characters; 9:05 gives "9 5").
std::u16string FormatLogName(const char16_t* prefix, int64_t firstSector,
                             const platform::LocalTime& time);

class CScanLog {
 public:
  // Writes to the main file go through this function (platform::WriteSome by
  // default); tests put a failing one in to prove no record is ever lost.
  using WriteFn = logio::WriteFn;

  CScanLog();
  ~CScanLog();
  CScanLog(const CScanLog&) = delete;
  CScanLog& operator=(const CScanLog&) = delete;

  // Creates or reopens the log `name` (no folder) in the current scan folder
  // and reloads its relation map and directory list. 0, 8 when the write
  // buffer cannot be had, or the failed system call's error.
  WinError OpenLog(const std::u16string& name);

  // Buffers a copy of `record` as the next record with its seq set to the new
  // number, and returns that number. Returns 0 (nothing assigned) when the
  // buffer is full and cannot be written; PendingWriteError() tells why.
  int32_t AppendRecord(const FoundEntry& record);

  // Files `recordNumber` under `key`; with a name (folder records) also adds a
  // DirInfoEntry (entryId, recordNumber, name).
  void AddRelation(FolderKey key, int32_t recordNumber, uint32_t entryId, const char* name);

  // Writes the buffered records, then rewrites _Relation and _DirInfo whole.
  WinError FlushLog();

  // Appends the records filed under `key` (0 = the root: the smallest key) to
  // `records` and sorts the whole list: files first, then by name ignoring case.
  WinError ListChildren(FolderKey key, std::vector<FoundEntry>* records);

  // The number of file records in the subtree below `key`.
  WinError CountFilesUnder(FolderKey key, uint32_t* count);

  // Records appended since OpenLog.
  int32_t RecordCount() const { return recordCount_; }

  // The first folder record with this id in the main file; 87 when none.
  WinError FindDirectoryRecord(uint32_t entryId, FoundEntry* out);

  // Appends the record's parent folder, its parent, ... up to (not including)
  // the root. Never loops.
  WinError GetAncestors(const FoundEntry& record, std::vector<FoundEntry>* ancestors);

  // The record's folder path below the volume root, each name followed by a
  // backslash; empty for a record in the root. 122 when `capacity` is too small.
  WinError GetFolderPath(const FoundEntry& record, char16_t* out, uint32_t capacity);

  // Appends every file record whose extension occurs in `text` with its full
  // folder path, then sorts the hits by name. 1 when searched, else the error.
  int32_t SearchByExtension(const char16_t* text, std::vector<SearchHit>* hits);

  // Progress of SearchByExtension: (userData, percent, 0); non-zero stops.
  void SetSearchProgress(SearchProgressFn progress, void* userData);

  // FlushLog, then releases the buffer, closes the files, empties map and list.
  void CloseLog();

  // The error of the last failed write of the record buffer, 0 when every
  // buffered record has reached the main file or is waiting without error.
  WinError PendingWriteError() const { return pendingWriteError_; }
  const std::u16string& MainPath() const { return mainPath_; }
  const std::u16string& RelationPath() const { return relationPath_; }
  const std::u16string& DirInfoPath() const { return dirInfoPath_; }
  void SetWriteFunction(WriteFn write) { write_ = write; }

 private:
  bool IsOpen() const;
  static WinError OpenLogFile(const std::u16string& path, platform::FileHandle* handle);
  WinError PositionAfterWholeRecords();
  static bool ReadCompanion(platform::FileHandle file, std::vector<char>* bytes);
  WinError LoadRelation();
  void ParseRelation(std::string_view text);
  void LoadDirInfo();
  WinError WriteBuffer();
  static WinError RewriteCompanion(platform::FileHandle file, const void* bytes, uint32_t count);
  WinError RewriteRelation();
  WinError RewriteDirInfo();
  const std::vector<int32_t>* NumbersFiledUnder(FolderKey key) const;
  WinError ReadRecord(int32_t number, FoundEntry* out, bool* present);
  template <typename Visit, typename AfterChunk>
  WinError ForEachStoredRecord(Visit visit, AfterChunk afterChunk);
  void BuildIndexes();
  std::string AncestorPath(const FoundEntry& record);
  static bool MatchesSearch(const FoundEntry& record, const std::string& searchText);
  SearchHit MakeHit(const FoundEntry& record);

  std::u16string mainPath_;
  std::u16string relationPath_;
  std::u16string dirInfoPath_;
  platform::FileHandle mainFile_ = platform::kInvalidHandle;
  platform::FileHandle relationFile_ = platform::kInvalidHandle;
  platform::FileHandle dirInfoFile_ = platform::kInvalidHandle;

  std::vector<uint8_t> buffer_;  // capacity kLogBufferBytes once open
  uint32_t bufferedBytes_ = 0;
  uint32_t capacity_ = kLogBufferBytes;

  int32_t recordsAtOpen_ = 0;
  int32_t recordCount_ = 0;
  uint64_t bytesAppended_ = 0;
  WinError pendingWriteError_ = 0;

  uint64_t mainFileBytes_ = 0;  // whole records that reached the main file

  std::map<FolderKey, std::vector<int32_t>> relations_;
  std::vector<DirInfoEntry> directories_;
  // Lookups for the folder-path walk, rebuilt after the map or list changed.
  bool indexesValid_ = false;
  std::unordered_map<int32_t, FolderKey> keyOfRecord_;
  std::unordered_map<int32_t, size_t> directoryOfId_;

  SearchProgressFn searchProgress_ = nullptr;
  void* searchUserData_ = nullptr;
  WriteFn write_ = platform::WriteSome;
};
