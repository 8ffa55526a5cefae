// Scan log: file formats byte for byte, buffering, reopening, listings,
// counts, folder paths and the search, plus damaged and hostile log files.
#include "scanlog/scan_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "scanlog/scan_history.h"
#include "tests/test_support.h"

namespace {

constexpr FolderKey kRoot = 2;  // FAT root directory: id 2, level 0

FoundEntry Record(const std::string& name, bool isFolder = false, uint32_t id = 0,
                  uint32_t dataIntact = 1, uint16_t tag = 'C') {
  FoundEntry entry = MakeEmptyEntry();
  SetEntryNameAnsi(entry, name);
  entry.isFolder = isFolder ? 1 : 0;
  entry.id = id;
  entry.dataIntact = dataIntact;
  entry.volumeTag = tag;
  return entry;
}

std::vector<std::string> Names(const std::vector<FoundEntry>& records) {
  std::vector<std::string> names;
  for (const auto& r : records) names.emplace_back(r.name);
  return names;
}

std::string FileText(const std::u16string& path) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(test_support::ReadWholeFile(path, &bytes));
  return std::string(bytes.begin(), bytes.end());
}

uint64_t FileSize(const std::u16string& path) { return FileText(path).size(); }

void WriteText(const std::u16string& path, const std::string& text) {
  ASSERT_TRUE(test_support::WriteWholeFile(path, std::vector<uint8_t>(text.begin(), text.end())));
}

// Every test gets its own application-data folder and history.
class ScanLogTest : public testing::Test {
 protected:
  void SetUp() override {
    test_support::UseFreshDataFolder();
    ReloadScanHistory();
    folder_ = GetScanHistory().GetScanFolder();
    platform::CreateFolderTree(folder_);
  }
  std::u16string InFolder(const std::u16string& name) const {
    return platform::JoinPath(folder_, name);
  }
  // Appends a record, files it under `key` (folders with their name).
  int32_t Add(CScanLog& log, FolderKey key, const FoundEntry& record) {
    const int32_t number = log.AppendRecord(record);
    log.AddRelation(key, number, record.id, record.isFolder ? record.name : nullptr);
    return number;
  }
  std::u16string folder_;
};

// ---------------------------------------------------------------- names ----

TEST(ScanLogNames, MinuteIsSpacePaddedAndDigitsRunTogether) {
  struct Case {
    const char16_t* prefix;
    int64_t sector;
    uint16_t hour, minute;
    const char16_t* expected;
  } cases[] = {
      {kLogPrefixFast, 63, 9, 5, u"Fast_63_201412179 5"},
      {kLogPrefixFast, 63, 10, 30, u"Fast_63_201412171030"},
      {kLogPrefixProFat, 2048, 9, 5, u"Pro_Fat_2048_201412179 5"},
      {kLogPrefixFileType, 0, 0, 0, u"File_Type_0_201412170 0"},
  };
  for (const auto& c : cases) {
    platform::LocalTime time;
    time.year = 2014;
    time.month = 12;
    time.day = 17;
    time.hour = c.hour;
    time.minute = c.minute;
    EXPECT_EQ(FormatLogName(c.prefix, c.sector, time), c.expected);
  }
}

// ------------------------------------------------------------ main file ----

struct WriteCounter {
  static inline std::vector<uint32_t> calls;
  static WinError Write(platform::FileHandle h, const void* b, uint32_t n, uint32_t* done) {
    calls.push_back(n);
    return platform::WriteSome(h, b, n, done);
  }
};

TEST_F(ScanLogTest, RecordsReachTheFileTwoHundredPerWrite) {
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_1"), 0);
  WriteCounter::calls.clear();
  log.SetWriteFunction(WriteCounter::Write);
  for (int i = 1; i <= 200; ++i) ASSERT_EQ(log.AppendRecord(Record("f.txt")), i);
  EXPECT_TRUE(WriteCounter::calls.empty());
  EXPECT_EQ(log.AppendRecord(Record("f.txt")), 201);
  EXPECT_EQ(WriteCounter::calls, std::vector<uint32_t>{69200});
  EXPECT_EQ(FileSize(log.MainPath()), 69200u);
  for (int i = 0; i < 4; ++i) log.AppendRecord(Record("g.txt"));
  ASSERT_EQ(log.FlushLog(), 0);
  EXPECT_EQ(WriteCounter::calls, (std::vector<uint32_t>{69200, 1730}));
  EXPECT_EQ(FileSize(log.MainPath()), 205u * 346);
  EXPECT_EQ(log.RecordCount(), 205);
}

TEST_F(ScanLogTest, SeqIsTheRecordNumberWhateverTheEngineSet) {
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_1"), 0);
  FoundEntry record = Record("a.jpg");
  record.seq = 777;
  log.AppendRecord(record);
  log.AppendRecord(record);
  log.FlushLog();
  const std::string bytes = FileText(log.MainPath());
  ASSERT_EQ(bytes.size(), 692u);
  uint32_t seq = 0;
  std::memcpy(&seq, bytes.data() + 346 + 18, 4);
  EXPECT_EQ(seq, 2u);
}

TEST_F(ScanLogTest, ReopenedLogAppendsBehindItsRecords) {
  {
    CScanLog log;
    ASSERT_EQ(log.OpenLog(u"Pro_Fat_1"), 0);
    for (int i = 0; i < 120; ++i) log.AppendRecord(Record("old.txt"));
  }
  CScanLog log;
  log.OpenLog(u"Other_1");
  log.AppendRecord(Record("other.txt"));
  ASSERT_EQ(log.OpenLog(u"Pro_Fat_1"), 0);  // the same object reopens another log
  EXPECT_EQ(log.RecordCount(), 0);
  EXPECT_EQ(log.AppendRecord(Record("new.txt")), 121);
  EXPECT_EQ(log.RecordCount(), 1);
  log.FlushLog();
  EXPECT_EQ(FileSize(log.MainPath()), 121u * 346);
}

// A crash in the middle of a write leaves part of a record: it is dropped so
// that new records stay aligned.
TEST_F(ScanLogTest, ReopeningDropsAnIncompleteTrailingRecord) {
  WriteText(InFolder(u"Pro_Fat_2"), std::string(120 * 346 + 100, '\0'));
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Pro_Fat_2"), 0);
  EXPECT_EQ(Add(log, kRoot, Record("back.jpg")), 121);
  log.FlushLog();
  const std::string bytes = FileText(log.MainPath());
  ASSERT_EQ(bytes.size(), 121u * 346);
  EXPECT_STREQ(bytes.data() + 120 * 346 + 86, "back.jpg");
  std::vector<FoundEntry> listed;
  EXPECT_EQ(log.ListChildren(kRoot, &listed), 0);
  EXPECT_EQ(Names(listed), std::vector<std::string>{"back.jpg"});
}

// ---------------------------------------------------- failed record writes ----

struct FlakyWriter {
  static inline int failuresLeft = 0;
  static inline uint32_t pieceLimit = UINT32_MAX;
  static WinError Write(platform::FileHandle h, const void* b, uint32_t n, uint32_t* done) {
    if (failuresLeft > 0) {
      --failuresLeft;
      // Part of the bytes arrive before the failure.
      platform::WriteSome(h, b, n < 1000 ? n : 1000, done);
      *done = 0;
      return kErrorDiskFull;
    }
    return platform::WriteSome(h, b, n < pieceLimit ? n : pieceLimit, done);
  }
};

TEST_F(ScanLogTest, RecordsSurviveFailedAndPartialBufferWrites) {
  struct Case {
    int failures;
    uint32_t pieceLimit;
  } cases[] = {{1, UINT32_MAX}, {0, 1000}, {1, 777}};
  int round = 0;
  for (const auto& c : cases) {
    FlakyWriter::failuresLeft = c.failures;
    FlakyWriter::pieceLimit = c.pieceLimit;
    CScanLog log;
    ASSERT_EQ(log.OpenLog(u"Flaky_" + platform::Utf8ToUtf16(std::to_string(round++))), 0);
    log.SetWriteFunction(FlakyWriter::Write);
    for (int i = 1; i <= 250; ++i) ASSERT_EQ(log.AppendRecord(Record("r.txt")), i);
    ASSERT_EQ(log.FlushLog(), 0);
    const std::string bytes = FileText(log.MainPath());
    ASSERT_EQ(bytes.size(), 250u * 346);
    for (uint32_t n = 1; n <= 250; ++n) {
      uint32_t seq = 0;
      std::memcpy(&seq, bytes.data() + (n - 1) * 346 + 18, 4);
      ASSERT_EQ(seq, n);
    }
  }
}

TEST_F(ScanLogTest, FullBufferThatCannotBeWrittenRefusesRecordsAndReportsIt) {
  FlakyWriter::failuresLeft = 1000000;
  FlakyWriter::pieceLimit = UINT32_MAX;
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Full_1"), 0);
  log.SetWriteFunction(FlakyWriter::Write);
  for (int i = 1; i <= 200; ++i) Add(log, kRoot, Record("kept.txt"));
  EXPECT_EQ(log.AppendRecord(Record("refused.txt")), 0);
  EXPECT_EQ(log.PendingWriteError(), kErrorDiskFull);
  EXPECT_EQ(log.RecordCount(), 200);
  EXPECT_EQ(log.FlushLog(), kErrorDiskFull);

  // Records that never reached the file are not listed from stale bytes.
  std::vector<FoundEntry> listed;
  EXPECT_EQ(log.ListChildren(kRoot, &listed), 0);
  EXPECT_TRUE(listed.empty());

  log.SetWriteFunction(platform::WriteSome);
  EXPECT_EQ(log.AppendRecord(Record("later.txt")), 201);
  ASSERT_EQ(log.FlushLog(), 0);
  EXPECT_EQ(FileSize(log.MainPath()), 201u * 346);
  EXPECT_EQ(log.PendingWriteError(), 0);
  EXPECT_EQ(log.ListChildren(kRoot, &listed), 0);
  EXPECT_EQ(listed.size(), 200u);
}

// ------------------------------------------------------------- _Relation ----

TEST_F(ScanLogTest, RelationTextByteForByteAndReadBack) {
  {
    CScanLog log;
    ASSERT_EQ(log.OpenLog(u"Fast_1"), 0);
    for (int i = 0; i < 5; ++i) log.AppendRecord(Record("f" + std::to_string(i + 1) + ".txt"));
    const FolderKey dir7 = MakeFolderKey(7, 1);
    log.AddRelation(kRoot, 1, 0, nullptr);
    log.AddRelation(kRoot, 2, 0, nullptr);
    log.AddRelation(dir7, 3, 0, nullptr);
    log.AddRelation(dir7, 4, 0, nullptr);
    log.AddRelation(kRoot, 5, 0, nullptr);
    std::vector<FoundEntry> none;
    EXPECT_EQ(log.ListChildren(12345, &none), 0);  // a query adds no key
    ASSERT_EQ(log.FlushLog(), 0);
    EXPECT_EQ(FileText(log.RelationPath()), " | 2 - [1,2,5] | 4294967303 - [3,4]");
  }
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_1"), 0);
  std::vector<FoundEntry> root, dir;
  EXPECT_EQ(log.ListChildren(0, &root), 0);
  EXPECT_EQ(Names(root), (std::vector<std::string>{"f1.txt", "f2.txt", "f5.txt"}));
  EXPECT_EQ(log.ListChildren(MakeFolderKey(7, 1), &dir), 0);
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"f3.txt", "f4.txt"}));
}

// Damaged and hostile relation files: the parser keeps what the text holds
// and never reads outside it (the sanitizers watch the exact-size buffer).
TEST_F(ScanLogTest, RelationParserKeepsWhatTheTextHolds) {
  struct Case {
    const char* text;
    std::vector<std::string> underRoot;  // key 0: the smallest key
    std::vector<std::string> under9;
  } cases[] = {
      {" | 2 - [1,2,5] | 9 - [3,4", {"r1", "r2", "r5"}, {"r3"}},
      {" | 2 - [1,2,5] | 9 - [", {"r1", "r2", "r5"}, {}},
      {" | 2 - [1] garbage | 9 - [4]", {"r1"}, {"r4"}},
      {" | 9 - [9999,-3,0,4]", {"r4"}, {"r4"}},
      {" | 2 - [1] | 9 -x[3] | 5 - [4]", {"r1"}, {"r4"}},  // "- [" is looked for onwards
      {" | 2 - [1] | 9 -x[3]", {"r1"}, {}},
      {" | ", {}, {}},
      {" | 9", {}, {}},
      {"- [1,2]", {}, {}},
      {"", {}, {}},
  };
  int round = 0;
  for (const auto& c : cases) {
    const std::u16string name = u"Rel_" + platform::Utf8ToUtf16(std::to_string(round++));
    {
      CScanLog writer;
      ASSERT_EQ(writer.OpenLog(name), 0);
      for (int i = 1; i <= 5; ++i) writer.AppendRecord(Record("r" + std::to_string(i)));
    }
    WriteText(InFolder(name + u"_Relation"), c.text);
    CScanLog log;
    ASSERT_EQ(log.OpenLog(name), 0);
    std::vector<FoundEntry> root, nine;
    EXPECT_EQ(log.ListChildren(0, &root), 0);
    EXPECT_EQ(log.ListChildren(9, &nine), 0);
    EXPECT_EQ(Names(root), c.underRoot) << c.text;
    EXPECT_EQ(Names(nine), c.under9) << c.text;
  }
}

TEST_F(ScanLogTest, RewrittenRelationLeavesNoStaleTail) {
  const std::string stale(1024, 'x');
  WriteText(InFolder(u"Fast_3_Relation"), " | 2 - [1] | 7 -x[2]" + stale);
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_3"), 0);
  ASSERT_EQ(log.FlushLog(), 0);
  EXPECT_EQ(FileText(log.RelationPath()), " | 2 - [1]");
}

// -------------------------------------------------------------- _DirInfo ----

TEST_F(ScanLogTest, DirInfoKeepsWholeEntriesOnly) {
  std::string bytes(600, '\0');
  DirInfoEntry entries[2] = {};
  entries[0].id = 7;
  entries[0].seq = 1;
  std::strcpy(entries[0].name, "Pictures");
  entries[1].id = 9;
  entries[1].seq = 2;
  std::memset(entries[1].name, 'D', sizeof entries[1].name);  // no NUL at all
  std::memcpy(&bytes[0], entries, sizeof entries);
  std::memset(&bytes[536], 'Z', 64);
  WriteText(InFolder(u"Fast_4_DirInfo"), bytes);
  WriteText(InFolder(u"Fast_4_Relation"), " | 2 - [1,2] | 4294967303 - [3] | 4294967305 - [4]");

  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_4"), 0);
  for (int i = 0; i < 4; ++i) log.AppendRecord(Record("x.txt"));
  char16_t path[300];
  ASSERT_EQ(log.GetFolderPath(Record("a"), path, 300), 0);  // seq 0: filed nowhere
  FoundEntry inPictures = Record("a.jpg");
  inPictures.seq = 3;
  ASSERT_EQ(log.GetFolderPath(inPictures, path, 300), 0);
  EXPECT_EQ(std::u16string(path), u"Pictures\\");
  FoundEntry inUnterminated = Record("b.jpg");
  inUnterminated.seq = 4;
  ASSERT_EQ(log.GetFolderPath(inUnterminated, path, 300), 0);
  EXPECT_EQ(std::u16string(path), std::u16string(259, u'D') + u"\\");

  // The flush writes back the two whole entries only (names terminated).
  ASSERT_EQ(log.FlushLog(), 0);
  const std::string written = FileText(log.DirInfoPath());
  ASSERT_EQ(written.size(), 536u);
  EXPECT_EQ(written.substr(0, 268), bytes.substr(0, 268));
}

TEST_F(ScanLogTest, AddRelationWithNameWritesDirInfoEntry) {
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_5"), 0);
  Add(log, kRoot, Record("Holiday", true, 40));
  ASSERT_EQ(log.FlushLog(), 0);
  const std::string written = FileText(log.DirInfoPath());
  ASSERT_EQ(written.size(), 268u);
  DirInfoEntry entry;
  std::memcpy(&entry, written.data(), sizeof entry);
  EXPECT_EQ(entry.id, 40);
  EXPECT_EQ(entry.seq, 1);
  EXPECT_STREQ(entry.name, "Holiday");
  EXPECT_EQ(written.find_first_not_of('\0', 8 + 8), std::string::npos);
}

// -------------------------------------------------------------- listings ----

TEST_F(ScanLogTest, ListingPutsFilesFirstSortsByNameAndHidesDamagedPhotos) {
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_6"), 0);
  Add(log, kRoot, Record("b.txt"));
  Add(log, kRoot, Record("zdir", true, 30));
  Add(log, kRoot, Record("A.jpg"));
  Add(log, kRoot, Record("Adir", true, 31));
  Add(log, kRoot, Record("broken.JPG", false, 0, 0));
  Add(log, kRoot, Record("broken.doc", false, 0, 0));
  Add(log, kRoot, Record("noext", false, 0, 0));
  log.FlushLog();
  std::vector<FoundEntry> listed;
  EXPECT_EQ(log.ListChildren(0, &listed), 0);
  EXPECT_EQ(Names(listed),
            (std::vector<std::string>{"A.jpg", "b.txt", "broken.doc", "noext", "Adir", "zdir"}));
  uint32_t count = 0;
  EXPECT_EQ(log.CountFilesUnder(0, &count), 0);
  EXPECT_EQ(count, 5u);  // the damaged photo counts
}

TEST_F(ScanLogTest, EmptyMapListsNothing) {
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_7"), 0);
  std::vector<FoundEntry> listed;
  uint32_t count = 9;
  EXPECT_EQ(log.ListChildren(0, &listed), 0);
  EXPECT_EQ(log.CountFilesUnder(0, &count), 0);
  EXPECT_TRUE(listed.empty());
  EXPECT_EQ(count, 0u);
}

TEST_F(ScanLogTest, NamesWithoutTerminatorAreCutAtTheRecordEnd) {
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_8"), 0);
  FoundEntry record = Record("");
  std::memset(record.name, 'A', sizeof record.name);
  Add(log, kRoot, record);
  log.FlushLog();
  std::vector<FoundEntry> listed;
  EXPECT_EQ(log.ListChildren(kRoot, &listed), 0);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(std::string(listed[0].name), std::string(259, 'A'));
}

// A folder holding 2 files and a subfolder with 3 files.
TEST_F(ScanLogTest, CountFilesUnderWalksTheSubtree) {
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_9"), 0);
  const FolderKey f = MakeFolderKey(10, 1), s = MakeFolderKey(11, 2);
  Add(log, kRoot, Record("F", true, 10));
  Add(log, kRoot, Record("top.txt"));
  Add(log, f, Record("1.txt"));
  Add(log, f, Record("2.txt"));
  Add(log, f, Record("S", true, 11));
  for (const char* name : {"3.txt", "4.txt", "5.txt"}) Add(log, s, Record(name));
  log.FlushLog();
  uint32_t count = 0;
  EXPECT_EQ(log.CountFilesUnder(f, &count), 0);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(log.CountFilesUnder(0, &count), 0);
  EXPECT_EQ(count, 6u);
}

// A folder filed inside itself (a crafted log) is counted once.
TEST_F(ScanLogTest, CountFilesUnderEndsOnDuplicatedFolders) {
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_10"), 0);
  const int32_t folder = Add(log, kRoot, Record("F", true, 10));
  for (uint32_t level = 1; level <= 40; ++level) {
    for (int copy = 0; copy < 2; ++copy)
      log.AddRelation(MakeFolderKey(10, level), folder, 10, nullptr);
    Add(log, MakeFolderKey(10, level), Record("x.txt"));
  }
  log.FlushLog();
  uint32_t count = 0;
  EXPECT_EQ(log.CountFilesUnder(0, &count), 0);
  EXPECT_EQ(count, 40u);
}

// ----------------------------------------------------------- folder paths ----

TEST_F(ScanLogTest, FolderPathsFromDirInfoFromRecordsAndWhenMissing) {
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_11"), 0);
  const int32_t dir1 = Add(log, kRoot, Record("Dir1", true, 20));
  // Dir2 is filed without a name: its path comes from the folder record.
  const int32_t dir2 = log.AppendRecord(Record("Dir2", true, 21));
  log.AddRelation(MakeFolderKey(20, 1), dir2, 21, nullptr);
  FoundEntry file = Record("deep.jpg");
  file.seq = static_cast<uint32_t>(Add(log, MakeFolderKey(21, 2), file));
  FoundEntry orphan = Record("orphan.jpg");
  orphan.seq = static_cast<uint32_t>(Add(log, MakeFolderKey(99, 1), orphan));
  FoundEntry top = Record("top.jpg");
  top.seq = static_cast<uint32_t>(Add(log, kRoot, top));
  log.FlushLog();
  ASSERT_GT(dir1, 0);

  char16_t path[260];
  EXPECT_EQ(log.GetFolderPath(file, path, 260), 0);
  EXPECT_EQ(std::u16string(path), u"Dir1\\Dir2\\");
  EXPECT_EQ(log.GetFolderPath(top, path, 260), 0);
  EXPECT_EQ(std::u16string(path), u"");
  EXPECT_EQ(log.GetFolderPath(orphan, path, 260), 0);
  EXPECT_EQ(std::u16string(path), u"");
  EXPECT_EQ(log.GetFolderPath(file, path, 10), 122);

  std::vector<FoundEntry> ancestors;
  EXPECT_EQ(log.GetAncestors(orphan, &ancestors), kErrorInvalidParameter);
  EXPECT_TRUE(ancestors.empty());
}

TEST_F(ScanLogTest, AncestorWalkEndsOnCycles) {
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_12"), 0);
  Add(log, 1, Record("rootfile.txt"));
  // A (id 30) lies in B (id 31), and B in A.
  const int32_t a = log.AppendRecord(Record("A", true, 30));
  const int32_t b = log.AppendRecord(Record("B", true, 31));
  log.AddRelation(MakeFolderKey(31, 1), a, 30, "A");
  log.AddRelation(MakeFolderKey(30, 1), b, 31, "B");
  FoundEntry file = Record("f.txt");
  file.seq = static_cast<uint32_t>(Add(log, MakeFolderKey(30, 1), file));
  log.FlushLog();
  std::vector<FoundEntry> ancestors;
  EXPECT_EQ(log.GetAncestors(file, &ancestors), 0);
  EXPECT_EQ(Names(ancestors), (std::vector<std::string>{"A", "B"}));
}

// ------------------------------------------------------------------ search ----

TEST_F(ScanLogTest, SearchIsASubstringTestOnFileExtensions) {
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_13"), 0);
  for (const char* name : {"z.pn", "x.JPG", "README", "y.jp", "w.txt", "v.", "u.jpg.txt"})
    Add(log, kRoot, Record(name));
  Add(log, kRoot, Record("folder.jpg", true, 50));
  Add(log, kRoot, Record("damaged.jpg", false, 0, 0));
  std::vector<SearchHit> hits;
  EXPECT_EQ(log.SearchByExtension(u"*.jpg|*.png", &hits), 1);
  std::vector<std::string> names;
  for (const auto& hit : hits) names.emplace_back(hit.entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"x.JPG", "y.jp", "z.pn"}));
}

TEST_F(ScanLogTest, SearchPathStartsWithTheVolumeTag) {
  struct Case {
    uint16_t tag;
    const char16_t* path;
  } cases[] = {{'C', u"C:\\Dir1\\Dir2\\"}, {1000, u"\\Dir1\\Dir2\\"}, {5, u"5:\\Dir1\\Dir2\\"}};
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_14"), 0);
  Add(log, kRoot, Record("Dir1", true, 20));
  Add(log, MakeFolderKey(20, 1), Record("Dir2", true, 21));
  char name = 'a';
  for (const auto& c : cases)
    Add(log, MakeFolderKey(21, 2), Record(std::string(1, name++) + ".jpg", false, 0, 1, c.tag));
  std::vector<SearchHit> hits;
  ASSERT_EQ(log.SearchByExtension(u"*.jpg", &hits), 1);
  ASSERT_EQ(hits.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(std::u16string(hits[i].path), cases[i].path);
}

struct ProgressLog {
  std::vector<int32_t> percents;
  int32_t stopAfter = 1000;
  static int32_t VARNELLE_CALLBACK Report(void* user, int32_t percent, int32_t) {
    auto* self = static_cast<ProgressLog*>(user);
    self->percents.push_back(percent);
    return static_cast<int32_t>(self->percents.size()) >= self->stopAfter ? 1 : 0;
  }
};

TEST_F(ScanLogTest, SearchReportsProgressPerChunkAndStopsOnRequest) {
  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Fast_15"), 0);
  for (int i = 0; i < 450; ++i) Add(log, kRoot, Record("p" + std::to_string(i) + ".jpg"));
  ProgressLog progress;
  log.SetSearchProgress(ProgressLog::Report, &progress);
  std::vector<SearchHit> hits;
  EXPECT_EQ(log.SearchByExtension(u"*.jpg", &hits), 1);
  EXPECT_EQ(hits.size(), 450u);
  EXPECT_EQ(progress.percents, (std::vector<int32_t>{44, 88, 100}));

  ProgressLog stopping;
  stopping.stopAfter = 1;
  log.SetSearchProgress(ProgressLog::Report, &stopping);
  hits.clear();
  EXPECT_EQ(log.SearchByExtension(u"*.jpg", &hits), 1);
  EXPECT_EQ(hits.size(), 200u);
}

// Beyond 6.2 million records a 32-bit offset would wrap: record 6,500,000 of
// a sparse main file of 7,000,000 records lies at byte 2,248,999,654.
TEST_F(ScanLogTest, RecordOffsetsAreSixtyFourBit) {
  const std::u16string mainPath = InFolder(u"Pro_Ntfs_big");
  platform::FileHandle file = platform::kInvalidHandle;
  ASSERT_EQ(platform::OpenFile(mainPath, platform::Access::ReadWrite,
                               platform::Disposition::CreateAlways, &file),
            0);
  const uint64_t offset = 6499999ULL * 346;
  ASSERT_EQ(offset, 2248999654ULL);
  FoundEntry far = Record("far.jpg");
  far.seq = 6500000;
  uint32_t done = 0;
  bool ok = platform::SetFileLength(file, 7000000ULL * 346) == 0 &&
            platform::Seek(file, offset) == 0 && platform::WriteSome(file, &far, 346, &done) == 0;
  platform::CloseFile(file);
  if (!ok) GTEST_SKIP() << "no room for a sparse file of 2.4 GB here";
  WriteText(mainPath + u"_Relation", " | 5 - [6500000]");

  CScanLog log;
  ASSERT_EQ(log.OpenLog(u"Pro_Ntfs_big"), 0);
  std::vector<FoundEntry> listed;
  EXPECT_EQ(log.ListChildren(5, &listed), 0);
  EXPECT_EQ(Names(listed), std::vector<std::string>{"far.jpg"});
  EXPECT_EQ(log.AppendRecord(Record("next.jpg")), 7000001);
  log.CloseLog();
  platform::DeleteFile(mainPath);
}

}  // namespace
