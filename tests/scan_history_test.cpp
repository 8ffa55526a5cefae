// Scan history: the application-data layout, the "config" file byte for
// byte, interrupted and failed saves, lookups and which folders may go.
#include "scanlog/scan_history.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

// A volume tag that is no drive letter: its free bytes read as 0 everywhere.
constexpr uint16_t kNoLetter = 7;

std::u16string Sep() { return std::u16string(1, platform::kPathSeparator); }

ScanHistoryEntry DiskEntry(uint64_t firstSector, uint64_t freeBytes, const std::u16string& folder) {
  ScanHistoryEntry entry;
  std::memset(&entry, 0, sizeof entry);
  entry.diskNumber = 1;
  entry.firstSector = firstSector;
  entry.sectorCount = 1000;
  entry.freeBytes = freeBytes;
  std::memcpy(entry.scanFolder, folder.data(), folder.size() * sizeof(char16_t));
  return entry;
}

std::vector<uint8_t> ConfigBytes(uint64_t counter, const std::vector<ScanHistoryEntry>& entries) {
  const auto* counterBytes = reinterpret_cast<const uint8_t*>(&counter);
  std::vector<uint8_t> bytes(counterBytes, counterBytes + 8);
  for (const auto& entry : entries) {
    const auto* entryBytes = reinterpret_cast<const uint8_t*>(&entry);
    bytes.insert(bytes.end(), entryBytes, entryBytes + sizeof entry);
  }
  return bytes;
}

void MakeFile(const std::u16string& path) {
  ASSERT_TRUE(test_support::WriteWholeFile(path, {1, 2, 3}));
}

class ScanHistoryTest : public testing::Test {
 protected:
  void SetUp() override {
    test_support::UseFreshDataFolder();
    root_ =
        platform::JoinPath(platform::JoinPath(platform::AppDataBase(), u"Varnelle"), u"ScanLog");
    platform::CreateFolderTree(root_);
  }
  std::u16string Config() const { return platform::JoinPath(root_, u"config"); }
  std::u16string Numbered(const char16_t* n) const { return platform::JoinPath(root_, n) + Sep(); }
  void WriteConfig(const std::vector<uint8_t>& bytes) const {
    ASSERT_TRUE(test_support::WriteWholeFile(Config(), bytes));
  }
  CScanHistory Loaded() const {
    CScanHistory history;
    history.LoadHistory();
    return history;
  }
  std::u16string root_;
};

TEST_F(ScanHistoryTest, EmptyHistoryUsesFolderZeroThenOne) {
  CScanHistory history = Loaded();
  EXPECT_EQ(history.HistoryRoot(), root_);
  EXPECT_TRUE(history.Entries().empty());
  EXPECT_EQ(history.GetScanFolder(), Numbered(u"0"));
  history.NewScanFolder();
  EXPECT_EQ(history.GetScanFolder(), Numbered(u"1"));
  char16_t small[8];
  history.GetScanFolder(small, 8);
  EXPECT_EQ(std::u16string(small), Numbered(u"1").substr(0, 7));
}

TEST_F(ScanHistoryTest, OnlyWholeEntriesAreLoaded) {
  const std::vector<ScanHistoryEntry> two = {DiskEntry(63, 0, u"a"), DiskEntry(64, 0, u"b")};
  struct Case {
    size_t size;
    uint64_t counter;
    size_t entries;
  } cases[] = {
      {8 + 2 * 1120, 7, 2}, {8 + 1500, 7, 1}, {8 + 1119, 7, 0}, {8, 7, 0}, {5, 0, 0}, {0, 0, 0}};
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = ConfigBytes(7, two);
    bytes.resize(c.size, 0xEE);
    WriteConfig(bytes);
    const CScanHistory history = Loaded();
    EXPECT_EQ(history.ScanCounter(), c.counter) << c.size;
    ASSERT_EQ(history.Entries().size(), c.entries) << c.size;
    if (c.entries > 0) {
      EXPECT_EQ(history.Entries()[0].firstSector, 63u);
    }
  }
}

TEST_F(ScanHistoryTest, LoadedPathsAreAlwaysTerminated) {
  ScanHistoryEntry entry = DiskEntry(63, 0, u"");
  for (char16_t& c : entry.scanFolder) c = u'x';
  for (char16_t& c : entry.imagePath) c = u'y';
  WriteConfig(ConfigBytes(1, {entry}));
  const CScanHistory history = Loaded();
  ASSERT_EQ(history.Entries().size(), 1u);
  EXPECT_EQ(history.Entries()[0].scanFolder[259], 0);
  EXPECT_EQ(history.Entries()[0].imagePath[259], 0);
}

TEST_F(ScanHistoryTest, InterruptedSaveIsCompletedAtLoad) {
  ASSERT_TRUE(
      test_support::WriteWholeFile(Config() + u".tmp", ConfigBytes(4, {DiskEntry(63, 0, u"a")})));
  const CScanHistory history = Loaded();
  EXPECT_EQ(history.ScanCounter(), 4u);
  EXPECT_EQ(history.Entries().size(), 1u);
  EXPECT_TRUE(platform::PathExists(Config()));
  EXPECT_FALSE(platform::PathExists(Config() + u".tmp"));
}

TEST_F(ScanHistoryTest, SaveWritesCounterAndEntriesAndReplacesTheOldFile) {
  WriteConfig(ConfigBytes(9, {DiskEntry(1, 0, u"old"), DiskEntry(2, 0, u"old")}));
  MakeFile(Config() + u".tmp");  // a leftover replacement is overwritten
  CScanHistory history = Loaded();
  history.NewScanFolder();
  const std::u16string folder = history.GetScanFolder();
  ASSERT_EQ(history.RecordDeepScan(kNoLetter, 3, 2048, 4096, 10, 20, 5, 700, 12, folder, u""), 0);

  std::vector<uint8_t> bytes;
  ASSERT_TRUE(test_support::ReadWholeFile(Config(), &bytes));
  ASSERT_EQ(bytes.size(), 8u + 3 * 1120);
  uint64_t counter = 0;
  std::memcpy(&counter, bytes.data(), 8);
  EXPECT_EQ(counter, 10u);
  ScanHistoryEntry stored;
  std::memcpy(&stored, bytes.data() + 8 + 2 * 1120, sizeof stored);
  EXPECT_EQ(stored.diskNumber, 3);
  EXPECT_EQ(stored.firstSector, 2048u);
  EXPECT_EQ(stored.sectorCount, 4096u);
  EXPECT_EQ(stored.extentStart, 10u);
  EXPECT_EQ(stored.extentLength, 20u);
  EXPECT_EQ(stored.extentOffset, 5u);
  EXPECT_EQ(stored.sectorsDone, 700u);
  EXPECT_EQ(stored.filesFound, 12u);
  EXPECT_EQ(stored.imageWriteTime, 0u);
  EXPECT_EQ(std::u16string(stored.scanFolder), folder);
  EXPECT_EQ(stored.imagePath[0], 0);
  EXPECT_FALSE(platform::PathExists(Config() + u".tmp"));

  // The same volume again updates its entry in place.
  ASSERT_EQ(history.RecordDeepScan(kNoLetter, 3, 2048, 4096, 30, 0, 0, 900, 15, folder, u""), 0);
  const CScanHistory reread = Loaded();
  ASSERT_EQ(reread.Entries().size(), 3u);
  EXPECT_EQ(reread.Entries()[2].extentLength, 0u);
  EXPECT_EQ(reread.Entries()[2].filesFound, 15u);
}

TEST_F(ScanHistoryTest, FailedSaveKeepsTheOldHistory) {
  const std::vector<uint8_t> old = ConfigBytes(5, {DiskEntry(63, 0, u"a")});
  WriteConfig(old);
  ASSERT_EQ(platform::CreateFolder(Config() + u".tmp"), 0);  // cannot be written as a file
  CScanHistory history = Loaded();
  history.NewScanFolder();
  EXPECT_NE(history.SaveHistory(), 0);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(test_support::ReadWholeFile(Config(), &bytes));
  EXPECT_EQ(bytes, old);
}

TEST_F(ScanHistoryTest, DiskLookupKeepsUnchangedVolumesAndDropsChangedOnes) {
  const std::u16string kept = Numbered(u"3"), changed = Numbered(u"7");
  const std::u16string outside = test_support::MakeTempFolder("outside") + Sep();
  for (const auto& folder : {kept, changed}) ASSERT_EQ(platform::CreateFolderTree(folder), 0);
  MakeFile(platform::JoinPath(changed, u"Pro_Fat_1"));
  MakeFile(platform::JoinPath(outside, u"precious.doc"));
  // Without a drive letter the free bytes read as 0: 5 means changed.
  WriteConfig(ConfigBytes(
      7, {DiskEntry(100, 0, kept), DiskEntry(200, 5, changed), DiskEntry(300, 5, outside)}));
  CScanHistory history = Loaded();

  ScanHistoryEntry found;
  EXPECT_EQ(history.FindDiskEntry(1, 100, 1000, kNoLetter, &found), 1);
  EXPECT_EQ(found.firstSector, 100u);
  EXPECT_EQ(history.GetScanFolder(), kept);
  EXPECT_EQ(history.FindDiskEntry(1, 100, 999, kNoLetter, &found), 0);  // other extent
  EXPECT_EQ(history.GetScanFolder(), Numbered(u"7"));

  EXPECT_EQ(history.FindDiskEntry(1, 200, 1000, kNoLetter, &found), 0);
  EXPECT_FALSE(platform::PathExists(changed));
  // A folder outside the scan-log root is never deleted: only the entry goes.
  EXPECT_EQ(history.FindDiskEntry(1, 300, 1000, kNoLetter, &found), 0);
  EXPECT_TRUE(platform::PathExists(platform::JoinPath(outside, u"precious.doc")));
  ASSERT_EQ(history.Entries().size(), 1u);
  EXPECT_EQ(history.Entries()[0].firstSector, 100u);
  platform::DeleteTree(outside);
}

TEST_F(ScanHistoryTest, OnlyNumberedScanFoldersMayBeDeleted) {
  const std::u16string base = platform::AppDataBase();
  const std::u16string named = platform::JoinPath(root_, u"Logs") + Sep();
  const std::u16string upper = platform::JoinPath(root_, u"12a") + Sep();
  for (const auto& folder : {named, upper}) ASSERT_EQ(platform::CreateFolderTree(folder), 0);
  CScanHistory history = Loaded();
  for (const auto& folder :
       {base + Sep(), root_ + Sep(), root_, named, upper, platform::JoinPath(root_, u"12a")}) {
    history.DeleteHistoryEntry(folder);
    EXPECT_TRUE(platform::PathExists(folder)) << platform::Utf16ToUtf8(folder);
  }
  // A numbered folder without an entry is deleted.
  const std::u16string seven = Numbered(u"7");
  ASSERT_EQ(platform::CreateFolderTree(seven), 0);
  EXPECT_EQ(history.DeleteHistoryEntry(seven), 0);
  EXPECT_FALSE(platform::PathExists(seven));
}

TEST_F(ScanHistoryTest, DeleteMatchesTheEntryIgnoringLetterCase) {
  WriteConfig(ConfigBytes(2, {DiskEntry(1, 0, u"X:\\Data\\ScanLog\\2\\"), DiskEntry(2, 0, u"b")}));
  CScanHistory history = Loaded();
  EXPECT_EQ(history.DeleteHistoryEntry(u"x:\\DATA\\scanlog\\2\\"), 0);
  ASSERT_EQ(history.Entries().size(), 1u);
  EXPECT_EQ(history.Entries()[0].firstSector, 2u);
}

TEST_F(ScanHistoryTest, ImageLookupByExactPathAndWriteTime) {
  const std::u16string image = platform::JoinPath(root_, u"disk.img");
  MakeFile(image);
  CScanHistory history = Loaded();
  history.NewScanFolder();
  const std::u16string folder = history.GetScanFolder();
  ASSERT_EQ(platform::CreateFolderTree(folder), 0);
  ASSERT_EQ(history.RecordDeepScan(1000, kImageDiskNumber, 0, 6, 0, 6, 2, 2, 1, folder, image), 0);
  ASSERT_EQ(history.Entries().size(), 1u);
  EXPECT_NE(history.Entries()[0].imageWriteTime, 0u);
  EXPECT_EQ(history.Entries()[0].freeBytes, 0u);

  CScanHistory reread = Loaded();
  ScanHistoryEntry found;
  EXPECT_EQ(reread.FindImageEntry(image, &found), 1);
  EXPECT_EQ(found.extentOffset, 2u);
  EXPECT_EQ(reread.GetScanFolder(), folder);
  std::u16string otherCase = image;
  otherCase.replace(otherCase.size() - 8, 4, u"DISK");
  EXPECT_EQ(reread.FindImageEntry(otherCase, &found), 0);
  EXPECT_EQ(reread.Entries().size(), 1u);

  // Rewritten image: a new last-write time drops the entry and its folder.
  platform::FileHandle file = platform::kInvalidHandle;
  ASSERT_EQ(platform::OpenFile(image, platform::Access::ReadWrite,
                               platform::Disposition::OpenExisting, &file),
            0);
  uint64_t before = 0, after = 0;
  platform::GetFileWriteTime(file, &before);
  after = before;
  for (int i = 0; i < 200 && after == before; ++i) {
    platform::SleepMs(10);
    uint32_t done = 0;
    platform::WriteSome(file, "z", 1, &done);
    platform::GetFileWriteTime(file, &after);
  }
  platform::CloseFile(file);
  ASSERT_NE(after, before);
  EXPECT_EQ(reread.FindImageEntry(image, &found), 0);
  EXPECT_TRUE(reread.Entries().empty());
  EXPECT_FALSE(platform::PathExists(folder));
}

// A volume written to while it was scanned must keep the logs just written.
TEST_F(ScanHistoryTest, RecordDeepScanKeepsTheLogsWhenTheSourceChangedMeanwhile) {
  const std::u16string folder = Numbered(u"1");
  ASSERT_EQ(platform::CreateFolderTree(folder), 0);
  MakeFile(platform::JoinPath(folder, u"Pro_Ntfs_1"));
  WriteConfig(ConfigBytes(1, {DiskEntry(63, 5, folder)}));
  CScanHistory history = Loaded();
  ASSERT_EQ(history.RecordDeepScan(kNoLetter, 1, 63, 1000, 0, 0, 0, 1000, 4, folder, u""), 0);
  EXPECT_TRUE(platform::PathExists(platform::JoinPath(folder, u"Pro_Ntfs_1")));
  ASSERT_EQ(history.Entries().size(), 1u);
  EXPECT_EQ(history.Entries()[0].freeBytes, 0u);
  EXPECT_EQ(history.Entries()[0].filesFound, 4u);
}

TEST_F(ScanHistoryTest, ReleasedFolderNumberIsTakenAgainAndEmptied) {
  CScanHistory history = Loaded();
  history.NewScanFolder();
  const std::u16string first = history.GetScanFolder();
  ASSERT_EQ(platform::CreateFolderTree(first), 0);
  MakeFile(platform::JoinPath(first, u"Fast_1"));
  history.ReleaseScanFolder();
  EXPECT_EQ(history.ScanCounter(), 0u);
  history.NewScanFolder();
  EXPECT_EQ(history.GetScanFolder(), first);
  EXPECT_FALSE(platform::PathExists(platform::JoinPath(first, u"Fast_1")));
}

TEST_F(ScanHistoryTest, FindLogFileNeverReturnsACompanion) {
  const std::u16string folder = Numbered(u"4");
  ASSERT_EQ(platform::CreateFolderTree(folder), 0);
  const CScanHistory history = Loaded();
  std::u16string name;
  for (const char16_t* file :
       {u"Pro_Fat_0_20141217 5_Relation", u"Pro_Fat_0_20141217 5_DirInfo", u".Pro_Fat_hidden"})
    MakeFile(platform::JoinPath(folder, file));
  EXPECT_EQ(history.FindLogFile(u"Pro_Fat_", &name, folder), 0);
  EXPECT_TRUE(name.empty());
  MakeFile(platform::JoinPath(folder, u"Pro_Fat_0_20141217 5"));
  MakeFile(platform::JoinPath(folder, u"Fast_0_20141217 5"));
  EXPECT_EQ(history.FindLogFile(u"Pro_Fat_", &name, folder), 0);
  EXPECT_EQ(name, u"Pro_Fat_0_20141217 5");
  EXPECT_NE(history.FindLogFile(u"Fast_", &name, Numbered(u"99")), 0);
}

TEST_F(ScanHistoryTest, MarkerFileIsMadeOnce) {
  const std::u16string marker =
      platform::JoinPath(platform::JoinPath(platform::AppDataBase(), u"Varnelle"), u"Used");
  CScanHistory::EnsureUsedMarker();
  std::vector<uint8_t> bytes{1};
  ASSERT_TRUE(test_support::ReadWholeFile(marker, &bytes));
  EXPECT_TRUE(bytes.empty());
  CScanHistory::EnsureUsedMarker();
  EXPECT_TRUE(platform::PathExists(marker));
}

TEST_F(ScanHistoryTest, ProcessHistoryReloadsFromTheCurrentDataFolder) {
  WriteConfig(ConfigBytes(41, {}));
  ReloadScanHistory();
  EXPECT_EQ(GetScanHistory().ScanCounter(), 41u);
  EXPECT_EQ(GetScanHistory().GetScanFolder(), Numbered(u"41"));
}

}  // namespace
