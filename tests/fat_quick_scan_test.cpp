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
    EXPECT_EQ(entry.volumeTag, 'Q');
    EXPECT_EQ(entry.engineKind, 1u);
    if (item.IsFolder()) {
      EXPECT_EQ(entry.isFolder, 1u);
      EXPECT_EQ(entry.isDeleted, 1u);
      continue;
    }
    ++expectedFiles;
    EXPECT_EQ(entry.size, item.size) << scanPath;
    platform::LocalTime written;
    ASSERT_TRUE(platform::FileTimeToSystemTime(entry.modified, &written)) << scanPath;
    EXPECT_GE(written.year, 1990);
    if (!item.HasFlag("overwritten")) {
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
