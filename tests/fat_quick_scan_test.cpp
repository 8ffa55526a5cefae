// The FAT quick scan on real FAT12/16/32 images made by mkfs.fat and mtools,
// and on copies of them patched into the corrupt shapes no tool makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "engines/fat/allocation_map.h"
#include "engines/fat/fat_file_copy.h"
#include "engines/fat/fat_quick_scan.h"
#include "engines/restore.h"
#include "tests/fat_image_helpers.h"
#include "tests/fixture_support.h"
#include "tests/full_log_disk.h"
#include "tests/test_support.h"

using fat_test::Image;

namespace {

bool IsUpperShortName(const std::string& name) {
  const size_t dot = name.find('.');
  const std::string base = name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3 || ext.find('.') != std::string::npos) {
    return false;
  }
  return std::none_of(name.begin(), name.end(), [](char c) {
    return std::islower(static_cast<unsigned char>(c)) || c == ' ' || (c & 0x80);
  });
}

// The path under which the scan lists a manifest path: 8.3 names lower-cased
// with "!" for a deleted first letter, long names as they are.
std::string ExpectedScanPath(const test_support::Manifest& manifest, const std::string& path) {
  std::string out, prefix;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    prefix += (prefix.empty() ? "" : "/") + part;
    if (IsUpperShortName(part)) {
      for (char& c : part) c = char(std::tolower(static_cast<unsigned char>(c)));
      const test_support::ManifestEntry* entry = manifest.Find(prefix);
      if (entry && entry->deleted) part[0] = '!';
    }
    out += (out.empty() ? "" : "/") + part;
    start = end + 1;
  }
  return out;
}

std::string Sha256OfRestored(CFastFatRecovery& engine, const FoundEntry& entry) {
  const std::u16string path =
      platform::JoinPath(test_support::MakeTempFolder("restored"), u"file.bin");
  if (engine.Restore(&entry, path.c_str(), 0) != 0) return "restore failed";
  return test_support::Sha256OfFile(path);
}

class FatFixtureTest : public testing::TestWithParam<const char*> {};

}  // namespace

// Every deleted file that was not overwritten comes back byte-identical with
// its long name, files of deleted folders under their folder path, and no
// live file is recorded.
TEST_P(FatFixtureTest, DeletedFilesComeBackByteIdentical) {
  const std::u16string image = test_support::FixturePath(GetParam());
  REQUIRE_FIXTURE(image);
  test_support::Manifest manifest;
  std::string error;
  ASSERT_TRUE(test_support::LoadFixtureManifest(GetParam(), &manifest, &error)) << error;
  CFastFatRecovery engine;
  ASSERT_EQ(engine.OpenImage(image.c_str(), 'Q'), 0);
  const auto tree = fat_test::ScanTree(engine);
  size_t expectedFiles = 0;
  for (const auto& item : manifest.entries) {
    const std::string scanPath = ExpectedScanPath(manifest, item.path);
    const auto found = tree.find(scanPath);
    if (!item.deleted) {
      if (!item.IsFolder()) {
        EXPECT_EQ(found, tree.end()) << "live file recorded: " << scanPath;
      }
      continue;
    }
    // An overwritten file's directory entry may have been reused as well.
    if (item.HasFlag("overwritten") && found == tree.end()) continue;
    ASSERT_NE(found, tree.end()) << "not found: " << scanPath;
    const FoundEntry& entry = found->second;
    EXPECT_EQ(+entry.volumeTag, int('Q'));
    EXPECT_EQ(+entry.engineKind, 1u);
    if (item.IsFolder()) {
      EXPECT_EQ(+entry.isFolder, 1u);
      EXPECT_EQ(+entry.isDeleted, 1u);
      continue;
    }
    ++expectedFiles;
    EXPECT_EQ(+entry.size, item.size) << scanPath;
    platform::LocalTime written;
    ASSERT_TRUE(platform::FileTimeToSystemTime(entry.modified, &written)) << scanPath;
    EXPECT_GE(written.year, 1990);
    if (item.HasFlag("overwritten")) {
      EXPECT_EQ(+entry.dataIntact, 0u) << "overwritten by another type: " << scanPath;
    } else {
      EXPECT_EQ(+entry.dataIntact, 1u) << scanPath;
      EXPECT_EQ(Sha256OfRestored(engine, entry), item.sha256) << scanPath;
    }
  }
  uint32_t counted = 0;
  ASSERT_EQ(engine.CountFiles(nullptr, 0, &counted), 0);
  EXPECT_EQ(counted, expectedFiles);
}

INSTANTIATE_TEST_SUITE_P(RealImages, FatFixtureTest,
                         testing::Values("fat12.img", "fat16.img", "fat32.img",
                                         "fat32-fragmented.img"));

// The floppy's root holds 224 entries (14 sectors), and FAT12 entries are
// 12-bit packed: every live chain on this freshly written image runs through
// consecutive clusters to one end mark per live file or folder, and the
// allocation map marks exactly their clusters.
TEST(FatQuickScan, Fat12EntriesArePackedAndTheMapIsExact) {
  const std::u16string image = test_support::FixturePath("fat12.img");
  REQUIRE_FIXTURE(image);
  test_support::Manifest manifest;
  std::string error;
  ASSERT_TRUE(test_support::LoadFixtureManifest("fat12.img", &manifest, &error)) << error;
  CFastFatRecovery engine;
  ASSERT_EQ(engine.OpenImage(image.c_str(), 1), 0);
  const FatGeometry& g = engine.Geometry();
  ASSERT_EQ(g.width, FatWidth::Fat12);
  EXPECT_EQ(g.rootEntryCount, 224u);
  EXPECT_EQ(g.rootDirSectors, 14u);
  EXPECT_EQ(g.dataAreaStart, g.reservedSectors + 2ull * g.sectorsPerFat + 14);

  uint32_t expectedClusters = 0, expectedChains = 0;
  for (const auto& item : manifest.entries) {
    if (item.deleted || (item.size == 0 && !item.IsFolder())) continue;
    ++expectedChains;
    expectedClusters += item.IsFolder() ? 1 : uint32_t((item.size + g.ClusterBytes() - 1) / g.ClusterBytes());
  }
  uint32_t used = 0, ends = 0;
  for (uint32_t c = 2; c <= g.LastCluster(); ++c) {
    uint32_t value = 0;
    ASSERT_EQ(engine.GetFatEntry(c, &value), 0);
    if (value == 0) continue;
    ++used;
    if (g.IsEndOfChain(value)) {
      EXPECT_EQ(value, 0xFFFu);
      ++ends;
    } else {
      EXPECT_EQ(value, c + 1) << "cluster " << c;
    }
  }
  EXPECT_EQ(used, expectedClusters);
  EXPECT_EQ(ends, expectedChains);
  ASSERT_EQ(engine.LoadAllocationMap(), 0);
  uint32_t marked = 0;
  for (uint32_t c = 2; c <= g.LastCluster(); ++c) marked += engine.AllocationMap().IsAllocated(c);
  EXPECT_EQ(marked, expectedClusters);
}

// The deleted fragmented file: its zeroed chain is guessed through the next
// free clusters, stepping over the live file written between its pieces.
// Reading plain consecutive clusters instead runs into that live file.
TEST(FatQuickScan, FragmentedDeletedFileStepsOverClustersInUse) {
  const std::u16string image = test_support::FixturePath("fat32-fragmented.img");
  REQUIRE_FIXTURE(image);
  test_support::Manifest manifest;
  std::string error;
  ASSERT_TRUE(test_support::LoadFixtureManifest("fat32-fragmented.img", &manifest, &error));
  CFastFatRecovery engine;
  ASSERT_EQ(engine.OpenImage(image.c_str(), 1), 0);
  const auto tree = fat_test::ScanTree(engine);
  int identicalWithRule = 0, identicalConsecutive = 0, fragmented = 0;
  for (const auto& item : manifest.entries) {
    if (!item.deleted || !item.HasFlag("fragmented")) continue;
    ++fragmented;
    const auto found = tree.find(ExpectedScanPath(manifest, item.path));
    ASSERT_NE(found, tree.end());
    identicalWithRule += Sha256OfRestored(engine, found->second) == item.sha256;
    // The same file read as consecutive clusters, without the FAT.
    FileSink sink;
    const std::u16string path =
        platform::JoinPath(test_support::MakeTempFolder("plain"), u"plain.bin");
    ASSERT_EQ(sink.Create(path), 0);
    FatCopySource plain;
    plain.source = nullptr;
    SectorSource source;
    ASSERT_EQ(OpenImageSource(source, image), 0);
    plain.source = &source;
    plain.bytesPerSector = engine.Geometry().bytesPerSector;
    plain.lastCluster = engine.Geometry().LastCluster();
    EXPECT_EQ(CopyFatFileData(plain, found->second, found->second.size, sink, nullptr), 0);
    sink.Close();
    CloseSource(source);
    identicalConsecutive += test_support::Sha256OfFile(path) == item.sha256;
  }
  ASSERT_GT(fragmented, 0);
  std::printf("[ measure  ] fragmented deleted files: %d, byte-identical with the "
              "skip-used rule: %d, as plain consecutive clusters: %d\n",
              fragmented, identicalWithRule, identicalConsecutive);
  EXPECT_EQ(identicalWithRule, fragmented);
}

namespace {

// A deleted file of the scan with this name.
const FoundEntry* FindByName(const std::map<std::string, FoundEntry>& tree,
                             const std::string& path) {
  const auto found = tree.find(path);
  return found == tree.end() ? nullptr : &found->second;
}

// Fills the entries of a directory cluster from its first free one on with
// entries no walk uses, so that the walk goes on along the chain.
void FillWithUnusableEntries(Image& image, uint32_t cluster) {
  const uint64_t start = image.ClusterOffset(cluster);
  const uint64_t end = start + image.geometry.ClusterBytes();
  uint64_t at = image.bytes[start] == 0 ? start : image.FirstFreeEntry(start, end - start);
  if (at == 0) return;
  for (; at < end; at += 32) {
    std::fill(image.bytes.begin() + at, image.bytes.begin() + at + 32, uint8_t(0xE5));
    image.bytes[at + 11] = 0xFF;  // no valid attribute combination
  }
}

struct ScannedImage {
  Image image;
  std::map<std::string, FoundEntry> tree;
};

// Loads a fixture and scans it once so that the test can find clusters and
// sectors of its entries before patching.
bool LoadAndScan(const std::string& fixture, ScannedImage* out) {
  if (!out->image.Load(fixture)) return false;
  CFastFatRecovery engine;
  if (engine.OpenImage(out->image.path.c_str(), 1) != 0) return false;
  out->tree = fat_test::ScanTree(engine);
  return true;
}

}  // namespace

// A live folder whose chain runs 10 -> 11 -> 10: the walk ends, each entry is
// recorded once.
TEST(FatQuickScan, CyclicDirectoryChainEnds) {
  ScannedImage scanned;
  if (!LoadAndScan("fat32.img", &scanned)) GTEST_SKIP() << "fixture not built";
  Image& image = scanned.image;
  const FoundEntry* tiff = FindByName(scanned.tree, "dcim/Scan Page.tiff");
  ASSERT_NE(tiff, nullptr);
  const uint32_t folder = image.ClusterOfSector(tiff->entrySector);
  const uint32_t other = image.geometry.LastCluster();
  FillWithUnusableEntries(image, folder);
  std::fill_n(image.bytes.begin() + image.ClusterOffset(other), image.geometry.ClusterBytes(),
              uint8_t(0));
  FillWithUnusableEntries(image, other);
  image.SetFatEntry(folder, other);
  image.SetFatEntry(other, folder);
  ASSERT_TRUE(image.Save());
  CFastFatRecovery engine;
  ASSERT_EQ(engine.OpenImage(image.path.c_str(), 1), 0);
  const auto tree = fat_test::ScanTree(engine);  // fails on a record met twice
  EXPECT_NE(FindByName(tree, "dcim/Scan Page.tiff"), nullptr);
}

// Folder A holds B, and B holds an entry naming A: the scan ends and the
// tree stays A/B. Two folders whose ".." name each other: FolderLevel ends.
TEST(FatQuickScan, FoldersNamingEachOtherEnd) {
  ScannedImage scanned;
  if (!LoadAndScan("fat32.img", &scanned)) GTEST_SKIP() << "fixture not built";
  Image& image = scanned.image;
  const FoundEntry* tiff = FindByName(scanned.tree, "dcim/Scan Page.tiff");
  const FoundEntry* clip = FindByName(scanned.tree, "dcim/100canon/Clip Movie.mp4");
  ASSERT_TRUE(tiff && clip);
  const uint32_t a = image.ClusterOfSector(tiff->entrySector);
  const uint32_t b = image.ClusterOfSector(clip->entrySector);
  const uint64_t freeEntry =
      image.FirstFreeEntry(image.ClusterOffset(b), image.geometry.ClusterBytes());
  ASSERT_NE(freeEntry, 0u);
  fat_test::PutEntries(image, freeEntry, {fat_test::ShortEntry("LOOP       ", 0x10, a, 0)});
  ASSERT_TRUE(image.Save());
  {
    CFastFatRecovery engine;
    ASSERT_EQ(engine.OpenImage(image.path.c_str(), 1), 0);
    const auto tree = fat_test::ScanTree(engine);
    EXPECT_NE(FindByName(tree, "dcim/100canon/Clip Movie.mp4"), nullptr);
    EXPECT_NE(FindByName(tree, "dcim/Scan Page.tiff"), nullptr);
    EXPECT_EQ(engine.FolderLevel(b), 2u);
  }
  // A's ".." now names B, whose ".." names A.
  const uint64_t dotDot = image.ClusterOffset(a) + 32;
  image.bytes[dotDot + 0x1A] = uint8_t(b);
  image.bytes[dotDot + 0x1B] = uint8_t(b >> 8);
  image.bytes[dotDot + 0x14] = uint8_t(b >> 16);
  image.bytes[dotDot + 0x15] = uint8_t(b >> 24);
  ASSERT_TRUE(image.Save());
  CFastFatRecovery engine;
  ASSERT_EQ(engine.OpenImage(image.path.c_str(), 1), 0);
  EXPECT_EQ(engine.FolderLevel(a), 2u);
  fat_test::ScanTree(engine);
}

// A bad-cluster mark at 100 marks only itself; a live file at 200-210 is
// marked after it. Free runs are found around them.
TEST(FatQuickScan, BadClusterMarkLeavesTheRestOfTheMapIntact) {
  Image image;
  if (!image.Load("fat32.img")) GTEST_SKIP() << "fixture not built";
  const FatGeometry& g = image.geometry;
  for (uint32_t c = 2; c <= g.LastCluster(); ++c) image.SetFatEntry(c, 0);
  image.SetFatEntry(100, 0x0FFFFFF7);
  for (uint32_t c = 200; c < 210; ++c) image.SetFatEntry(c, c + 1);
  image.SetFatEntry(210, 0x0FFFFFFF);
  ASSERT_TRUE(image.SaveFat());
  CFastFatRecovery engine;
  ASSERT_EQ(engine.OpenImage(image.path.c_str(), 1), 0);
  ASSERT_EQ(engine.LoadAllocationMap(), 0);
  for (uint32_t c = 2; c <= g.LastCluster(); ++c) {
    const bool expected = c == 100 || (c >= 200 && c <= 210);
    ASSERT_EQ(engine.AllocationMap().IsAllocated(c), expected) << "cluster " << c;
  }
  const uint64_t spc = g.sectorsPerCluster;
  uint64_t sector = 0, count = 0;
  ASSERT_EQ(engine.NextFreeExtent(&sector, &count), 1);
  EXPECT_EQ(sector, g.dataAreaStart);
  EXPECT_EQ(count, 98 * spc);
  sector = g.ClusterSector(100);
  engine.NextFreeExtent(&sector, &count);
  EXPECT_EQ(sector, g.ClusterSector(101));
  EXPECT_EQ(count, 99 * spc);
}

// The free-run search never leaves the map and treats sectors before the
// data area as its start.
TEST(AllocationMap, NextFreeExtentStaysInsideTheMap) {
  CAllocationMap map;
  map.Reset(64);
  struct Case { uint64_t sector, dataStart; uint64_t wantSector, wantCount; };
  const Case cases[] = {
      {0, 100, 100, 64},    // sector 0: the data area's start, the whole run
      {5, 100, 100, 64},    // below the data area
      {164, 100, 164, 0},   // the map's end: the walk is over
      {130, 100, 130, 34},  // from inside the run
  };
  for (const Case& c : cases) {
    uint64_t sector = c.sector, count = 99;
    map.NextFreeExtent(&sector, &count, c.dataStart, 1, 1000);
    EXPECT_EQ(sector, c.wantSector) << c.sector;
    EXPECT_EQ(count, c.wantCount) << c.sector;
  }
  map.MarkAllocated(2);
  for (uint32_t c = 40; c <= 65; ++c) map.MarkAllocated(c);
  uint64_t sector = 0, count = 0;
  map.NextFreeExtent(&sector, &count, 100, 1, 1000);
  EXPECT_EQ(sector, 101u);
  EXPECT_EQ(count, 37u);
  sector = 140;
  map.NextFreeExtent(&sector, &count, 100, 1, 1000);
  EXPECT_EQ(count, 0u);
}

// After 25 live long-named files a deleted 8.3-only file keeps its own name,
// and the walk goes on past it.
TEST(FatQuickScan, LongNameBufferIsEmptiedAfterEveryShortEntry) {
  Image image;
  if (!image.Load("fat16.img")) GTEST_SKIP() << "fixture not built";
  const uint64_t root = image.geometry.RootDirSector() * image.geometry.bytesPerSector;
  uint64_t at = image.FirstFreeEntry(root, uint64_t(image.geometry.rootDirSectors) * 512);
  ASSERT_NE(at, 0u);
  for (int i = 0; i < 25; ++i) {
    const std::string n = std::to_string(10 + i);
    auto entries = fat_test::LongNameEntries("Live file " + n);
    entries.push_back(fat_test::ShortEntry(("LIVE" + n + "  TXT").c_str(), 0x20, 0, 0));
    at = fat_test::PutEntries(image, at, entries);
  }
  at = fat_test::PutEntries(image, at,
                            {fat_test::ShortEntry("\xE5ILE8   TXT", 0x20, 0, 0),
                             fat_test::ShortEntry("\xE5" "FTER   TXT", 0x20, 0, 0)});
  ASSERT_TRUE(image.Save());
  CFastFatRecovery engine;
  ASSERT_EQ(engine.OpenImage(image.path.c_str(), 1), 0);
  const auto tree = fat_test::ScanTree(engine);
  EXPECT_NE(FindByName(tree, "!ile8.txt"), nullptr);
  EXPECT_NE(FindByName(tree, "!fter.txt"), nullptr);
  EXPECT_EQ(tree.count("Live file 34"), 0u);
}

// Boot sectors that would divide by zero or describe absurd sizes are
// refused; the engine then fails every call without crashing.
TEST(FatQuickScan, CorruptBootSectorIsAnError) {
  struct Patch { const char* what; size_t offset; std::vector<uint8_t> bytes; };
  const Patch patches[] = {
      {"zero sectors per cluster", 0x0D, {0}},
      {"three sectors per cluster", 0x0D, {3}},
      {"zero bytes per sector", 0x0B, {0, 0}},
      {"1000 bytes per sector", 0x0B, {0xE8, 0x03}},
      {"no FAT", 0x10, {0}},
      {"empty FAT", 0x16, {0, 0}},
  };
  Image image;
  if (!image.Load("fat16.img")) GTEST_SKIP() << "fixture not built";
  const std::vector<uint8_t> boot(image.bytes.begin(), image.bytes.begin() + 512);
  for (const Patch& patch : patches) {
    std::copy(boot.begin(), boot.end(), image.bytes.begin());
    std::copy(patch.bytes.begin(), patch.bytes.end(), image.bytes.begin() + patch.offset);
    if (patch.offset == 0x16) std::fill_n(image.bytes.begin() + 0x24, 4, uint8_t(0));
    ASSERT_TRUE(image.SaveRange(0, 512));
    CFastFatRecovery engine;
    EXPECT_EQ(engine.OpenImage(image.path.c_str(), 1), kErrorInvalidData) << patch.what;
    EXPECT_NE(engine.Scan(nullptr), 0) << patch.what;
    EXPECT_EQ(engine.LoadAllocationMap(), 0);
    uint64_t sector = 0, count = 7;
    engine.NextFreeExtent(&sector, &count);
    EXPECT_EQ(count, 0u) << patch.what;
  }
  // A data area beyond the volume's end: no clusters, an empty map.
  std::copy(boot.begin(), boot.end(), image.bytes.begin());
  image.bytes[0x13] = 100;
  image.bytes[0x14] = 0;
  std::fill_n(image.bytes.begin() + 0x20, 4, uint8_t(0));
  ASSERT_TRUE(image.SaveRange(0, 512));
  CFastFatRecovery engine;
  ASSERT_EQ(engine.OpenImage(image.path.c_str(), 1), 0);
  EXPECT_EQ(engine.Geometry().clusterCount, 0u);
  EXPECT_EQ(engine.LoadAllocationMap(), 0);
  uint64_t sector = 0, count = 7;
  engine.NextFreeExtent(&sector, &count);
  EXPECT_EQ(count, 0u);
}

namespace {

struct CopyRecord {
  int32_t cancelAt = 0;  // report number that answers "cancelled" (0: never)
  int32_t reports = 0;
  int32_t lastError = 0;
};

int32_t VARNELLE_CALLBACK CountingFileProgress(void* userData, int32_t progress, int32_t,
                                               int32_t errorCode, const char16_t*) {
  auto* record = static_cast<CopyRecord*>(userData);
  ++record->reports;
  if (progress == 100) record->lastError = errorCode;
  return record->reports == record->cancelAt ? ScanCancelled : 0;
}

}  // namespace

// Where a file's data runs out: a live chain that ends early, or a guess that
// finds no free cluster left, keeps the part found and reports 38; a cancel
// keeps what was written.
TEST(FatQuickScan, ShortDataIsKeptAndReported) {
  enum class Shape { ChainEndsAfterFirst, NoFreeClusterLeft, CancelAfterFirst };
  struct Case { Shape shape; WinError result; };
  const Case cases[] = {{Shape::ChainEndsAfterFirst, kErrorHandleEof},
                        {Shape::NoFreeClusterLeft, kErrorHandleEof},
                        {Shape::CancelAfterFirst, ScanCancelled}};
  ScannedImage scanned;
  if (!LoadAndScan("fat32.img", &scanned)) GTEST_SKIP() << "fixture not built";
  Image& image = scanned.image;
  const FoundEntry* beep = FindByName(scanned.tree, "!eep.wav");
  ASSERT_NE(beep, nullptr);
  const uint32_t first = beep->id;
  const std::vector<uint8_t> original = image.bytes;
  for (const Case& c : cases) {
    image.bytes = original;
    if (c.shape == Shape::ChainEndsAfterFirst) image.SetFatEntry(first, 0x0FFFFFFF);
    if (c.shape == Shape::NoFreeClusterLeft) {
      for (uint32_t x = first + 1; x <= image.geometry.LastCluster(); ++x) {
        image.SetFatEntry(x, 0x0FFFFFF7);
      }
    }
    ASSERT_TRUE(image.SaveFat());
    CFastFatRecovery engine;
    ASSERT_EQ(engine.OpenImage(image.path.c_str(), 1), 0);
    CopyRecord record;
    record.cancelAt = c.shape == Shape::CancelAfterFirst ? 1 : 0;
    engine.SetCallbacks(nullptr, CountingFileProgress, &record, 100);
    const std::u16string path =
        platform::JoinPath(test_support::MakeTempFolder("short"), u"beep.wav");
    EXPECT_EQ(engine.Restore(beep, path.c_str(), 0), c.result);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(test_support::ReadWholeFile(path, &bytes));
    EXPECT_EQ(bytes.size(), image.geometry.ClusterBytes());
    if (c.result > 0) {
      EXPECT_EQ(record.lastError, c.result);
    }
  }
}

int32_t VARNELLE_CALLBACK CancellingScanProgress(void*, int32_t, int32_t, int32_t, uint64_t,
                                                 uint64_t, uint64_t, int32_t) {
  return ScanCancelled;
}

// A cancelled scan returns the cancel and writes no folder records.
TEST(FatQuickScan, CancelStopsTheScan) {
  const std::u16string image = test_support::FixturePath("fat16.img");
  REQUIRE_FIXTURE(image);
  test_support::UseFreshDataFolder();
  ReloadScanHistory();
  CFastFatRecovery engine;
  ASSERT_EQ(engine.OpenImage(image.c_str(), 1), 0);
  engine.SetCallbacks(CancellingScanProgress, nullptr, nullptr, 100);
  EXPECT_EQ(engine.Scan(nullptr), ScanCancelled);
  std::vector<FoundEntry> root;
  ASSERT_EQ(engine.ListFolder(nullptr, 0, &root), 0);
  EXPECT_FALSE(root.empty());
  for (const FoundEntry& entry : root) EXPECT_EQ(+entry.isFolder, 0u);
}

// A deleted JPEG whose first cluster now starts like a PNG is not intact.
TEST(FatQuickScan, FirstClusterOverwrittenByAnotherTypeIsNotIntact) {
  ScannedImage scanned;
  if (!LoadAndScan("fat16.img", &scanned)) GTEST_SKIP() << "fixture not built";
  const FoundEntry* jpeg = FindByName(scanned.tree, "Café Crème.jpg");
  ASSERT_NE(jpeg, nullptr);
  EXPECT_EQ(+jpeg->dataIntact, 1u);
  fat_test::Image& image = scanned.image;
  const uint64_t at = image.ClusterOffset(jpeg->id);
  const uint8_t png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I', 'H', 'D', 'R'};
  std::copy(std::begin(png), std::end(png), image.bytes.begin() + at);
  ASSERT_TRUE(image.SaveRange(at, sizeof png));
  CFastFatRecovery engine;
  ASSERT_EQ(engine.OpenImage(image.path.c_str(), 1), 0);
  EXPECT_EQ(engine.CheckContent(*jpeg), 0u);
  const auto tree = fat_test::ScanTree(engine);
  EXPECT_EQ(tree.count("Café Crème.jpg"), 0u);  // photos that are not intact are not listed
  uint32_t files = 0;
  ASSERT_EQ(engine.CountFiles(nullptr, 0, &files), 0);
  EXPECT_EQ(files, std::count_if(scanned.tree.begin(), scanned.tree.end(),
                                 [](const auto& item) { return item.second.isFolder == 0; }));
}

namespace {

class FullLogFat : public CFastFatRecovery {
 protected:
  void PrepareScanLog(CScanLog& log) override { test_support::FullLogDisk::Prepare(log); }
};

}  // namespace

// The first found record that the log cannot keep ends the scan with the
// disk's error: no success, and nothing more is walked or tried.
TEST(FatQuickScan, ARecordTheLogRefusesStopsTheScanWithItsError) {
  const std::u16string image = test_support::FixturePath("fat16.img");
  REQUIRE_FIXTURE(image);
  test_support::UseFreshDataFolder();
  ReloadScanHistory();
  FullLogFat engine;
  ASSERT_EQ(engine.OpenImage(image.c_str(), 1), 0);
  EXPECT_EQ(engine.Scan(nullptr), kErrorDiskFull);
  EXPECT_EQ(engine.GetEntryCount(), kLogBufferRecords);  // the placeholders only
  // Two tries for the refused record, one for the closing flush.
  EXPECT_EQ(test_support::FullLogDisk::writes, 3);
}
