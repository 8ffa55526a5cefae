// The NTFS quick scan on real images made by mkntfs and filled and emptied
// through ntfs-3g (tools/fixtures/make_20_ntfs.sh), on copies patched to
// corrupt single records, and through a read shim that fails sectors.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engines/engine_factory.h"
#include "engines/ntfs/ntfs_bitmap.h"
#include "engines/ntfs/ntfs_quick_scan.h"
#include "engines/ntfs/ntfs_record.h"
#include "platform/platform.h"
#include "scanlog/scan_history.h"
#include "tests/fixture_support.h"
#include "tests/full_log_disk.h"
#include "tests/sha256.h"
#include "tests/test_support.h"

namespace {

using test_support::Manifest;
using test_support::ManifestEntry;

// A packed field by value: the test macros bind references to what they
// compare, and a reference to a packed field is misaligned.
template <class T>
T Field(T value) {
  return value;
}

std::string NameOf(const FoundEntry& entry) {
  return test_support::AnsiNameToUtf8(entry.name, sizeof entry.name);
}

// Every entry of a finished scan by its path below the root ("a/b/c").
std::map<std::string, FoundEntry> CollectTree(CFastNtfsRecovery& engine) {
  std::map<std::string, FoundEntry> tree;
  std::function<void(const FoundEntry*, uint32_t, const std::string&)> walk =
      [&](const FoundEntry* folder, uint32_t level, const std::string& prefix) {
        std::vector<FoundEntry> children;
        if (engine.ListFolder(folder, level, &children) != kErrorSuccess || level > 16) return;
        for (const FoundEntry& child : children) {
          const std::string path = prefix + NameOf(child);
          tree[path] = child;
          if (child.isFolder) walk(&tree[path], level + 1, path + "/");
        }
      };
  walk(nullptr, 0, "");
  return tree;
}

// A fresh scan-log folder for each scan, so that logs of scans made in the
// same minute never meet.
void FreshLogs() {
  test_support::UseFreshDataFolder();
  ReloadScanHistory();
}

std::u16string Copy(const std::string& fixture, const std::string& tag,
                    std::vector<uint8_t>* bytes) {
  const std::u16string source = test_support::FixturePath(fixture);
  EXPECT_TRUE(test_support::ReadWholeFile(source, bytes));
  const std::u16string path =
      platform::JoinPath(test_support::MakeTempFolder(tag), platform::Utf8ToUtf16(fixture));
  return path;
}

std::string RestoreToHash(CFastNtfsRecovery& engine, const FoundEntry& entry, WinError* result) {
  const std::u16string path =
      platform::JoinPath(test_support::MakeTempFolder("ntfs-restore"), u"out.bin");
  *result = engine.Restore(&entry, path.c_str(), 0);
  return test_support::Sha256OfFile(path);
}

uint64_t WriteTimeOf(const std::u16string& path) {
  platform::FileHandle handle = platform::kInvalidHandle;
  uint64_t time = 0;
  if (platform::OpenFile(path, platform::Access::Read, platform::Disposition::OpenExisting,
                         &handle) == kErrorSuccess) {
    platform::GetFileWriteTime(handle, &time);
    platform::CloseFile(handle);
  }
  return time;
}

// The manifest path of a deleted file as the scan shows it: below the lost
// folder of its reused parent, or where it was.
std::string ExpectedPath(const ManifestEntry& file, const Manifest& manifest) {
  if (!file.HasFlag("reused-folder")) return file.path;
  const std::string parent = file.path.substr(0, file.path.find('/'));
  return "LostFolder" + manifest.Find(parent)->FlagValue("record") + "/" + file.Name();
}

class NtfsImage : public testing::TestWithParam<const char*> {};

TEST_P(NtfsImage, FindsEveryDeletedFileInItsFolderAndRestoresItByteForByte) {
  const std::u16string image = test_support::FixturePath(GetParam());
  REQUIRE_FIXTURE(image);
  Manifest manifest;
  std::string error;
  ASSERT_TRUE(test_support::LoadFixtureManifest(GetParam(), &manifest, &error)) << error;
  FreshLogs();
  CFastNtfsRecovery engine;
  ASSERT_EQ(kErrorSuccess, engine.OpenImage(image.c_str(), u'Q'));
  EXPECT_EQ(std::stoul(manifest.Property("cluster_bytes")), engine.ClusterBytes());
  ASSERT_EQ(kErrorSuccess, engine.Scan(nullptr));
  const std::map<std::string, FoundEntry> tree = CollectTree(engine);

  const uint64_t imageTime = WriteTimeOf(image);
  uint32_t deletedFiles = 0;
  for (const ManifestEntry& item : manifest.entries) {
    if (item.IsFolder()) continue;
    const auto found = tree.find(ExpectedPath(item, manifest));
    if (!item.deleted) {
      EXPECT_EQ(tree.end(), found) << "live file reported: " << item.path;
      continue;
    }
    ++deletedFiles;
    ASSERT_NE(tree.end(), found) << item.path;
    const FoundEntry& entry = found->second;
    EXPECT_EQ(u'Q', Field(entry.volumeTag));
    EXPECT_EQ(0u, Field(entry.engineKind));
    EXPECT_EQ(std::stoul(item.FlagValue("record")), Field(entry.id)) << item.path;
    EXPECT_EQ(item.size, Field(entry.size)) << item.path;
    EXPECT_EQ(static_cast<int32_t>(engine.ClusterBytes()), Field(entry.clusterBytes));
    EXPECT_EQ(1u, Field(entry.dataIntact)) << item.path;
    // ntfs-3g writes a file's times into its $FILE_NAME when it makes the
    // name: the build's time for most files; setting a DOS name remakes the
    // names with the times the file has by then (the media file's).
    const std::u16string media =
        platform::JoinPath(test_support::FixturePath("media"), platform::Utf8ToUtf16(item.Name()));
    if (!item.FlagValue("dos-name").empty()) {
      EXPECT_EQ(WriteTimeOf(media) / 10000000, Field(entry.modified) / 10000000) << item.path;
    } else {
      for (uint64_t time : {entry.created, entry.modified, entry.accessed}) {
        EXPECT_LE(time / 10000000, imageTime / 10000000) << item.path;
        EXPECT_GT(time, imageTime - 3600ull * 10000000) << item.path;
      }
    }
    WinError result = 1;
    EXPECT_EQ(item.sha256, RestoreToHash(engine, entry, &result)) << item.path;
    EXPECT_EQ(kErrorSuccess, result) << item.path;
  }
  EXPECT_EQ(14u, deletedFiles);
  EXPECT_EQ(deletedFiles, [&] {
    uint32_t count = 0;
    engine.CountFiles(nullptr, 0, &count);
    return count;
  }());

  // Folders: live and deleted ones by their long names, the reused one lost.
  for (const char* folder : {"DCIM", "DCIM/100CANON", "Music", "Videos", "Old Album",
                             "Old Album/Sub Folder"}) {
    const auto found = tree.find(folder);
    ASSERT_NE(tree.end(), found) << folder;
    EXPECT_EQ(1u, Field(found->second.isFolder));
    EXPECT_EQ(std::stoul(manifest.Find(folder)->FlagValue("record")), Field(found->second.id));
  }
  const auto lost = tree.find("LostFolder" + manifest.Find("Trip")->FlagValue("record"));
  ASSERT_NE(tree.end(), lost);
  EXPECT_EQ(-1, Field(lost->second.clusterBytes));
  EXPECT_EQ(tree.end(), tree.find("Trip"));

  char16_t path[260];
  ASSERT_EQ(kErrorSuccess,
            engine.GetEntryPath(&tree.at("Old Album/Sub Folder/Clip Movie.mp4"), path, 260));
  EXPECT_EQ(u"Old Album\\Sub Folder\\", std::u16string(path));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, NtfsImage, testing::Values("ntfs-4k.img", "ntfs-64k.img"));

TEST(NtfsQuickScan, TheFactoryMakesThisEngineForAnNtfsImage) {
  const std::u16string image = test_support::FixturePath("ntfs-64k.img");
  REQUIRE_FIXTURE(image);
  FreshLogs();
  std::unique_ptr<IFileRecoveryParse> engine = CreateImageEngine(image, 3, false);
  ASSERT_NE(nullptr, dynamic_cast<CFastNtfsRecovery*>(engine.get()));
  ASSERT_EQ(kErrorSuccess, engine->Scan(nullptr));
  EXPECT_GT(engine->GetEntryCount(), 14u);
}

TEST(NtfsQuickScan, RestoresADeletedFolderTreeAndPreviewsIntoMemory) {
  const std::u16string image = test_support::FixturePath("ntfs-4k.img");
  REQUIRE_FIXTURE(image);
  FreshLogs();
  CFastNtfsRecovery engine;
  ASSERT_EQ(kErrorSuccess, engine.OpenImage(image.c_str(), 7));
  ASSERT_EQ(kErrorSuccess, engine.Scan(nullptr));
  const std::map<std::string, FoundEntry> tree = CollectTree(engine);
  const std::u16string root = test_support::MakeTempFolder("ntfs-folder");
  const std::u16string destination = platform::JoinPath(root, u"Old Album");
  ASSERT_EQ(kErrorSuccess, engine.Restore(&tree.at("Old Album"), destination.c_str(), 0));
  Manifest manifest;
  std::string error;
  ASSERT_TRUE(test_support::LoadFixtureManifest("ntfs-4k.img", &manifest, &error));
  for (const char* file : {"Old Album/IMG_0001.JPG", "Old Album/Sub Folder/DOT.PNG",
                           "Old Album/Sub Folder/Clip Movie.mp4"}) {
    std::u16string path = root;
    std::string rest = file;
    for (size_t cut; (cut = rest.find('/')) != std::string::npos; rest = rest.substr(cut + 1)) {
      path = platform::JoinPath(path, platform::Utf8ToUtf16(rest.substr(0, cut)));
    }
    path = platform::JoinPath(path, platform::Utf8ToUtf16(rest));
    EXPECT_EQ(manifest.Find(file)->sha256, test_support::Sha256OfFile(path)) << file;
  }

  // A name without an extension dot goes to memory, cut to the buffer.
  FoundEntry wav = tree.at("BEEP.WAV");
  std::strcpy(wav.name, "BEEP");
  std::vector<uint8_t> memory(1000);
  uint32_t bytes = static_cast<uint32_t>(memory.size());
  char16_t outPath[260] = {};
  ASSERT_EQ(kErrorSuccess,
            engine.ExtractForPreview(&wav, outPath, memory.data(), &bytes, nullptr, nullptr));
  EXPECT_EQ(1000u, bytes);
  EXPECT_EQ(0, std::memcmp(memory.data(), "RIFF", 4));
}

// The sectors of one table record, found through the engine's own geometry.
uint64_t RecordOffset(const CFastNtfsRecovery& engine, uint32_t record) {
  const uint64_t offset = uint64_t{record} * engine.RecordSize();
  uint64_t start = 0;
  for (const ClusterExtent& extent : engine.MftExtents()) {
    const uint64_t bytes = extent.clusterCount * engine.ClusterBytes();
    if (offset < start + bytes) return extent.firstCluster * engine.ClusterBytes() + offset - start;
    start += bytes;
  }
  ADD_FAILURE() << "record " << record << " not in the table";
  return 0;
}

// Patches record `number` of an image held in memory: the record is given
// to `patch` with its fix-ups applied and protected again afterwards.
void PatchRecord(std::vector<uint8_t>& image, const CFastNtfsRecovery& engine, uint32_t number,
                 const std::function<void(std::vector<uint8_t>&)>& patch) {
  const uint64_t offset = RecordOffset(engine, number);
  const uint32_t size = engine.RecordSize();
  std::vector<uint8_t> record(image.begin() + offset, image.begin() + offset + size);
  ASSERT_EQ(ntfs::FixupResult::Applied, ntfs::ApplyFixups(record.data(), size));
  patch(record);
  for (uint32_t i = 0; i < size / ntfs::kFixupStride; ++i) {
    const uint32_t end = ntfs::kFixupStride * (i + 1) - 2;
    std::memcpy(&record[ntfs::kSequenceArrayOffset + 2 * i], &record[end], 2);
    std::memcpy(&record[end], &record[ntfs::kSequenceNumberOffset], 2);
  }
  std::copy(record.begin(), record.end(), image.begin() + offset);
}

// The offset of the first attribute of `type` in a fixed-up record.
uint32_t AttributeOffset(const std::vector<uint8_t>& record, uint32_t type) {
  uint32_t at = ntfs::Le16(&record[0x14]);
  while (at + 8 <= record.size() && ntfs::Le32(&record[at]) != ntfs::kAttrEnd) {
    if (ntfs::Le32(&record[at]) == type) return at;
    at += ntfs::Le32(&record[at + 4]);
  }
  ADD_FAILURE() << "no attribute " << type;
  return 0;
}

uint32_t RecordOf(const Manifest& manifest, const char* path) {
  return static_cast<uint32_t>(std::stoul(manifest.Find(path)->FlagValue("record")));
}

TEST(NtfsQuickScan, CorruptRecordsAreDroppedOrMarkedAndTheScanGoesOn) {
  const std::u16string fixture = test_support::FixturePath("ntfs-4k.img");
  REQUIRE_FIXTURE(fixture);
  Manifest manifest;
  std::string error;
  ASSERT_TRUE(test_support::LoadFixtureManifest("ntfs-4k.img", &manifest, &error));
  CFastNtfsRecovery geometry;
  ASSERT_EQ(kErrorSuccess, geometry.OpenImage(fixture.c_str(), 1));
  std::vector<uint8_t> image;
  const std::u16string path = Copy("ntfs-4k.img", "ntfs-corrupt", &image);

  // BEEP.WAV: an attribute of length 8 (the walk would stall); DOT.PNG: a
  // $FILE_NAME whose name runs past its value.
  PatchRecord(image, geometry, RecordOf(manifest, "BEEP.WAV"), [](std::vector<uint8_t>& r) {
    const uint32_t at = AttributeOffset(r, ntfs::kAttrFileName);
    r[at + 4] = 8, r[at + 5] = r[at + 6] = r[at + 7] = 0;
  });
  PatchRecord(image, geometry, RecordOf(manifest, "DOT.PNG"), [](std::vector<uint8_t>& r) {
    const uint32_t at = AttributeOffset(r, ntfs::kAttrFileName);
    r[at + 0x18 + 0x40] = 255;
  });
  // Summer Song.mp3: its $DATA renamed away and its $STANDARD_INFORMATION
  // turned into an attribute list whose one $DATA entry names the record
  // itself; resolving it must neither recurse nor find anything.
  const uint32_t song = RecordOf(manifest, "Summer Song.mp3");
  PatchRecord(image, geometry, song, [song](std::vector<uint8_t>& r) {
    const uint32_t data = AttributeOffset(r, ntfs::kAttrData);
    r[data] = 0x90;
    const uint32_t info = AttributeOffset(r, ntfs::kAttrStandardInformation);
    r[info] = ntfs::kAttrAttributeList;
    uint8_t* entry = &r[info + ntfs::Le16(&r[info + 0x14])];
    std::memset(entry, 0, 0x20);
    entry[0] = 0x80, entry[4] = 0x20;
    std::memcpy(entry + 0x10, &song, 4);
  });
  // CLICK.WAV: torn, its second stride written after the first. (Not a
  // photo: the scan log hides photos whose data is not believed intact.)
  const uint64_t click = RecordOffset(geometry, RecordOf(manifest, "CLICK.WAV"));
  image[click + 1022] ^= 0x55;
  ASSERT_TRUE(test_support::WriteWholeFile(path, image));

  FreshLogs();
  CFastNtfsRecovery engine;
  ASSERT_EQ(kErrorSuccess, engine.OpenImage(path.c_str(), 1));
  ASSERT_EQ(kErrorSuccess, engine.Scan(nullptr));
  const std::map<std::string, FoundEntry> tree = CollectTree(engine);
  EXPECT_EQ(0u, tree.count("BEEP.WAV"));
  EXPECT_EQ(0u, tree.count("DOT.PNG"));
  ASSERT_EQ(1u, tree.count("CLICK.WAV"));
  EXPECT_EQ(0u, Field(tree.at("CLICK.WAV").dataIntact));
  EXPECT_EQ(1u, Field(tree.at("Café Crème.jpg").dataIntact));
  ASSERT_EQ(1u, tree.count("Summer Song.mp3"));
  WinError result = 0;
  RestoreToHash(engine, tree.at("Summer Song.mp3"), &result);
  EXPECT_NE(kErrorSuccess, result);
  // The rest is untouched.
  EXPECT_EQ(manifest.Find("DCIM/Scan Page.tiff")->sha256,
            RestoreToHash(engine, tree.at("DCIM/Scan Page.tiff"), &result));
  EXPECT_EQ(1u, tree.count("Old Album/Sub Folder/Clip Movie.mp4"));
}

TEST(NtfsQuickScan, ARunListAcrossTheFirstStrideOfA4096ByteRecordRestoresWhole) {
  const std::u16string fixture = test_support::FixturePath("ntfs-64k.img");
  REQUIRE_FIXTURE(fixture);
  Manifest manifest;
  std::string error;
  ASSERT_TRUE(test_support::LoadFixtureManifest("ntfs-64k.img", &manifest, &error));
  CFastNtfsRecovery geometry;
  ASSERT_EQ(kErrorSuccess, geometry.OpenImage(fixture.c_str(), 1));
  ASSERT_EQ(4096u, geometry.BytesPerSector());
  ASSERT_EQ(4096u, geometry.RecordSize());
  std::vector<uint8_t> image;
  const std::u16string path = Copy("ntfs-64k.img", "ntfs-stride", &image);

  // Moves the fragmented file's $DATA so that its run list starts a few
  // bytes before 0x1FE, behind a padding attribute.
  const char* file = "Videos/Long Video Recording.mp4";
  PatchRecord(image, geometry, RecordOf(manifest, file), [](std::vector<uint8_t>& r) {
    const uint32_t data = AttributeOffset(r, ntfs::kAttrData);
    const uint32_t runs = data + ntfs::Le16(&r[data + 0x20]);
    const uint32_t pad = (0x1FE - 2 - runs) & ~7u;
    uint32_t listBytes = 0;
    while (r[runs + listBytes] != 0) listBytes += 1 + (r[runs + listBytes] & 15) + (r[runs + listBytes] >> 4);
    const uint32_t used = ntfs::Le32(&r[0x18]);
    ASSERT_LT(used + pad, r.size());
    std::memmove(&r[data + pad], &r[data], used - data);
    std::memset(&r[data], 0, pad);
    r[data] = 0x40;  // an object-id attribute with an empty value
    r[data + 4] = static_cast<uint8_t>(pad);
    r[data + 5] = static_cast<uint8_t>(pad >> 8);
    r[data + 0x14] = 0x18;
    const uint32_t newUsed = used + pad;
    std::memcpy(&r[0x18], &newUsed, 4);
    const uint32_t newRuns = runs + pad;
    ASSERT_LT(newRuns, 0x1FEu);
    ASSERT_GT(newRuns + listBytes, 0x1FEu + 2);
  });
  ASSERT_TRUE(test_support::WriteWholeFile(path, image));

  FreshLogs();
  CFastNtfsRecovery engine;
  ASSERT_EQ(kErrorSuccess, engine.OpenImage(path.c_str(), 1));
  ASSERT_EQ(kErrorSuccess, engine.Scan(nullptr));
  const std::map<std::string, FoundEntry> tree = CollectTree(engine);
  ASSERT_EQ(1u, tree.count(file));
  WinError result = 1;
  EXPECT_EQ(manifest.Find(file)->sha256, RestoreToHash(engine, tree.at(file), &result));
  EXPECT_EQ(kErrorSuccess, result);
}

// Fails every read that touches one sector, as a bad sector does.
class BadSectorNtfs : public CFastNtfsRecovery {
 public:
  uint64_t badSector = UINT64_MAX;

 protected:
  WinError ReadSourceSectors(void* buffer, uint64_t start, uint32_t count,
                             uint32_t* sectorsRead) override {
    if (badSector >= start && badSector < start + count) {
      *sectorsRead = 0;
      return kErrorReadFault;
    }
    return CFastNtfsRecovery::ReadSourceSectors(buffer, start, count, sectorsRead);
  }
};

TEST(NtfsQuickScan, AnUnreadableTableSectorCostsOnlyItsRecord) {
  const std::u16string image = test_support::FixturePath("ntfs-4k.img");
  REQUIRE_FIXTURE(image);
  Manifest manifest;
  std::string error;
  ASSERT_TRUE(test_support::LoadFixtureManifest("ntfs-4k.img", &manifest, &error));
  FreshLogs();
  BadSectorNtfs engine;
  ASSERT_EQ(kErrorSuccess, engine.OpenImage(image.c_str(), 1));
  const uint32_t lost = RecordOf(manifest, "DCIM/Scan Page.tiff");
  engine.badSector = RecordOffset(engine, lost) / 512;
  ASSERT_EQ(kErrorSuccess, engine.Scan(nullptr));
  const std::map<std::string, FoundEntry> tree = CollectTree(engine);
  EXPECT_EQ(0u, tree.count("DCIM/Scan Page.tiff"));
  for (const char* before : {"BEEP.WAV", "Café Crème.jpg"}) EXPECT_EQ(1u, tree.count(before)) << before;
  for (const char* after : {"DCIM/100CANON/Clip Movie.mp4", "Videos/Long Video Recording.mp4",
                            "Old Album/Sub Folder/DOT.PNG"}) {
    EXPECT_EQ(1u, tree.count(after)) << after;
  }
}

int32_t VARNELLE_CALLBACK CancelAtOnce(void*, int32_t, int32_t, int32_t, uint64_t, uint64_t,
                                       uint64_t, int32_t) {
  return ScanCancelled;
}

TEST(NtfsQuickScan, ACancelledScanStopsBeforeTheFolderPass) {
  const std::u16string image = test_support::FixturePath("ntfs-4k.img");
  REQUIRE_FIXTURE(image);
  FreshLogs();
  CFastNtfsRecovery engine;
  ASSERT_EQ(kErrorSuccess, engine.OpenImage(image.c_str(), 1));
  engine.SetCallbacks(&CancelAtOnce, nullptr, nullptr, 100);
  EXPECT_EQ(ScanCancelled, engine.Scan(nullptr));
  std::vector<FoundEntry> root;
  ASSERT_EQ(kErrorSuccess, engine.ListFolder(nullptr, 0, &root));
  for (const FoundEntry& entry : root) EXPECT_EQ(0u, Field(entry.isFolder)) << NameOf(entry);
  EXPECT_EQ(kErrorInvalidParameter, engine.ListFolder(nullptr, 1, &root));
}

TEST(NtfsQuickScan, FreeExtentsFollowTheVolumeBitmap) {
  const std::u16string image = test_support::FixturePath("ntfs-64k.img");
  REQUIRE_FIXTURE(image);
  CFastNtfsRecovery engine;
  ASSERT_EQ(kErrorSuccess, engine.OpenImage(image.c_str(), 1));
  ASSERT_EQ(kErrorSuccess, engine.LoadAllocationMap());
  // Walk the free space; every extent is free, in order, inside the volume.
  uint64_t position = 0, count = 0, free = 0, extents = 0;
  const uint64_t volume = 64ull * 1024 * 1024 / 512;
  for (;; position += count) {
    ASSERT_EQ(1, engine.NextFreeExtent(&position, &count));
    if (count == 0) break;
    ASSERT_LE(position + count, volume);
    free += count;
    ++extents;
  }
  EXPECT_GT(extents, 0u);
  EXPECT_GT(free, volume / 2);  // the image is mostly empty
  EXPECT_LT(free, volume);      // but the table and the data are in use
  uint64_t beyond = volume + 5;
  EXPECT_EQ(1, engine.NextFreeExtent(&beyond, &count));
  EXPECT_EQ(volume, beyond);
  EXPECT_EQ(0u, count);
}

TEST(NtfsBitmap, AFreeRunOfTwoToThe29ClustersIsTwoToThe32Sectors) {
  std::vector<uint8_t> bits((uint64_t{1} << 26) + 2, 0);
  bits.front() = 0xFF;
  bits.back() = 0xFF;
  AllocationBitmapView view{bits.data(), bits.size(), 8, uint64_t{1} << 40};
  uint64_t position = 0, count = 0;
  FindFreeExtent(view, &position, &count);
  EXPECT_EQ(64u, position);
  EXPECT_EQ(uint64_t{1} << 32, count);
  // A full bitmap leaves the position where it was.
  std::vector<uint8_t> full(16, 0xFF);
  AllocationBitmapView fullView{full.data(), full.size(), 8, 1024};
  position = 9;
  FindFreeExtent(fullView, &position, &count);
  EXPECT_EQ(9u, position);
  EXPECT_EQ(0u, count);
}

class FullLogNtfs : public CFastNtfsRecovery {
 protected:
  void PrepareScanLog(CScanLog& log) override { test_support::FullLogDisk::Prepare(log); }
};

// The first found record that the log cannot keep ends the scan with the
// disk's error: no success, and no later record or folder is tried.
TEST(NtfsQuickScan, ARecordTheLogRefusesStopsTheScanWithItsError) {
  const std::u16string image = test_support::FixturePath("ntfs-4k.img");
  REQUIRE_FIXTURE(image);
  FreshLogs();
  FullLogNtfs engine;
  ASSERT_EQ(kErrorSuccess, engine.OpenImage(image.c_str(), 1));
  EXPECT_EQ(kErrorDiskFull, engine.Scan(nullptr));
  EXPECT_EQ(uint64_t{kLogBufferRecords}, engine.GetEntryCount());  // the placeholders only
  EXPECT_EQ(2, test_support::FullLogDisk::writes);  // the refused record's two tries
}

}  // namespace
