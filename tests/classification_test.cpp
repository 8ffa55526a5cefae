// Recognition of volumes on the real fixture images, on patched copies of
// their first 16 KiB, and the engines the factories choose.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engines/boot_sector.h"
#include "engines/engine_factory.h"
#include "engines/fast_ext_recovery.h"
#include "platform/platform.h"
#include "storage/sector_source.h"
#include "tests/fixture_support.h"
#include "tests/test_support.h"

namespace {

// `length` bytes of a file from `offset` (fewer at its end).
std::vector<uint8_t> ReadHead(const std::u16string& path, uint64_t offset, size_t length) {
  std::vector<uint8_t> bytes(length);
  platform::FileHandle handle;
  if (platform::OpenFile(path, platform::Access::Read, platform::Disposition::OpenExisting,
                         &handle) != 0) {
    return {};
  }
  size_t done = 0;
  if (platform::Seek(handle, offset) == 0) {
    uint32_t got = 1;
    while (done < length && got > 0) {
      if (platform::ReadSome(handle, bytes.data() + done, static_cast<uint32_t>(length - done),
                             &got) != 0) {
        break;
      }
      done += got;
    }
  }
  platform::CloseFile(handle);
  bytes.resize(done);
  return bytes;
}

void Put16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<uint8_t>(value);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  Put16(bytes, offset, static_cast<uint16_t>(value));
  Put16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[offset + static_cast<size_t>(i)];
  return value;
}

void PutText(std::vector<uint8_t>& bytes, size_t offset, const char* text) {
  std::memcpy(bytes.data() + offset, text, std::strlen(text));
}

// The BitLocker marker at 0x1E0; `last` is its final byte (0x2C when whole).
void PutBitLockerTail(std::vector<uint8_t>& bytes, uint8_t last) {
  std::memset(bytes.data() + 0x1E0, 0x78, 8);
  std::memset(bytes.data() + 0x1E8, 0xFF, 19);
  bytes[0x1FB] = 0x00;
  bytes[0x1FC] = 0x1F;
  bytes[0x1FD] = last;
}

TEST(Classification, FixtureImages) {
  struct Case {
    const char* image;
    VolumeClass expected;
  };
  const Case kCases[] = {
      {"fat12.img", VolumeClass::Fat},          {"fat16.img", VolumeClass::Fat},
      {"fat32.img", VolumeClass::Fat},          {"fat32-fragmented.img", VolumeClass::Fat},
      {"ntfs-4k.img", VolumeClass::Ntfs},       {"ntfs-64k.img", VolumeClass::Ntfs},
      {"ext4.img", VolumeClass::Ext},           {"mbr-disk.img", VolumeClass::Unrecognised},
  };
  for (const Case& c : kCases) {
    const std::u16string path = test_support::FixturePath(c.image);
    REQUIRE_FIXTURE(path);
    SourceReport report;
    ASSERT_EQ(ClassifyImage(path, &report), 0) << c.image;
    EXPECT_EQ(report.volumeClass, c.expected) << c.image;
    uint64_t bytes = 0;
    ASSERT_EQ(GetFileLength(path, &bytes), 0);
    EXPECT_EQ(report.sizeBytes, bytes) << c.image;
    EXPECT_EQ(report.sectorCount, bytes / 512) << c.image;
  }
}

// The partitions of the whole-disk image are recognised where the table
// puts them.
TEST(Classification, PartitionsOfTheWholeDisk) {
  const std::u16string path = test_support::FixturePath("mbr-disk.img");
  REQUIRE_FIXTURE(path);
  test_support::Manifest manifest;
  std::string error;
  ASSERT_TRUE(test_support::LoadFixtureManifest("mbr-disk.img", &manifest, &error)) << error;
  const std::vector<std::string> partitions = manifest.Properties("partition");
  ASSERT_EQ(partitions.size(), 2u);
  for (const std::string& partition : partitions) {
    std::istringstream fields(partition);  // "N start S sectors C filesystem F"
    std::string number, startWord, sectorsWord, fsWord, fs;
    uint64_t start = 0, sectors = 0;
    fields >> number >> startWord >> start >> sectorsWord >> sectors >> fsWord >> fs;
    const std::vector<uint8_t> head = ReadHead(path, start * 512, kClassifyBytes);
    ASSERT_EQ(head.size(), kClassifyBytes);
    EXPECT_EQ(ClassifyVolume(head.data(), head.size()),
              fs == "ntfs" ? VolumeClass::Ntfs : VolumeClass::Fat)
        << partition;
  }
}

// Real first 16 KiB with one documented patch each.
TEST(Classification, PatchedBootSectors) {
  using Patch = std::function<void(std::vector<uint8_t>&)>;
  struct Case {
    const char* image;
    const char* what;
    Patch patch;
    VolumeClass expected;
  };
  const Case kCases[] = {
      {"ntfs-4k.img", "128 sectors per cluster", [](auto& b) { b[0x0D] = 128; },
       VolumeClass::Unrecognised},
      {"ntfs-4k.img", "0x4000 bytes per sector", [](auto& b) { Put16(b, 0x0B, 0x4000); },
       VolumeClass::Unrecognised},
      {"ntfs-4k.img", "0x2000 bytes per sector", [](auto& b) { Put16(b, 0x0B, 0x2000); },
       VolumeClass::Unrecognised},
      {"ntfs-4k.img", "0 bytes per sector (512)", [](auto& b) { Put16(b, 0x0B, 0); },
       VolumeClass::Ntfs},
      {"ntfs-4k.img", "2048 bytes per sector", [](auto& b) { Put16(b, 0x0B, 2048); },
       VolumeClass::Ntfs},
      {"ntfs-4k.img", "reserved sectors", [](auto& b) { Put16(b, 0x0E, 1); },
       VolumeClass::Unrecognised},
      {"ntfs-4k.img", "BitLocker identifier", [](auto& b) { PutText(b, 3, "-FVE-FS-"); },
       VolumeClass::Unrecognised},
      {"fat16.img", "BitLocker identifier", [](auto& b) { PutText(b, 3, "-FVE-FS-"); },
       VolumeClass::Unrecognised},
      {"fat32.img", "BitLocker marker at 0x1E0", [](auto& b) { PutBitLockerTail(b, 0x2C); },
       VolumeClass::Unrecognised},
      {"fat32.img", "incomplete BitLocker marker", [](auto& b) { PutBitLockerTail(b, 0x2D); },
       VolumeClass::Fat},
      {"fat16.img", "\"FAT32   \" at 0x52", [](auto& b) { PutText(b, 0x52, "FAT32   "); },
       VolumeClass::Fat},
      {"fat12.img", "no boot signature", [](auto& b) { b[0x1FF] = 0; },
       VolumeClass::Unrecognised},
      {"fat16.img", "sectors per cluster 3", [](auto& b) { b[0x0D] = 3; },
       VolumeClass::Unrecognised},
      // A corrupt log block size must not be shifted (undefined behaviour).
      {"ext4.img", "log block size 40", [](auto& b) { b[1024 + 0x18] = 40; },
       VolumeClass::Unrecognised},
      {"ext4.img", "block groups disagree (inodes per group halved)",
       [](auto& b) { Put32(b, 1024 + 0x28, Get32(b, 1024 + 0x28) / 2); },
       VolumeClass::Unrecognised},
      {"ext4.img", "first inode 2", [](auto& b) { Put32(b, 1024 + 0x54, 2); },
       VolumeClass::Unrecognised},
  };
  for (const Case& c : kCases) {
    const std::u16string path = test_support::FixturePath(c.image);
    REQUIRE_FIXTURE(path);
    std::vector<uint8_t> head = ReadHead(path, 0, kClassifyBytes);
    ASSERT_EQ(head.size(), kClassifyBytes);
    c.patch(head);
    EXPECT_EQ(ClassifyVolume(head.data(), head.size()), c.expected)
        << c.image << ": " << c.what;
  }
}

// Tests given fewer bytes than the fields they read answer no (the buffers
// are exactly as long as stated, so a read beyond them shows under ASan).
TEST(Classification, ShortBuffersAreRefused) {
  const std::u16string fat = test_support::FixturePath("fat16.img");
  const std::u16string ext = test_support::FixturePath("ext4.img");
  REQUIRE_FIXTURE(fat);
  REQUIRE_FIXTURE(ext);
  std::vector<uint8_t> boot = ReadHead(fat, 0, kBootSectorBytes - 1);
  EXPECT_FALSE(IsFatBootSector(boot.data(), boot.size()));
  EXPECT_FALSE(IsFat12Or16Bpb(boot.data(), boot.size()));
  EXPECT_EQ(ClassifyVolume(boot.data(), boot.size()), VolumeClass::Unrecognised);
  std::vector<uint8_t> superblock = ReadHead(ext, kExtSuperblockOffset, kExtSuperblockBytes - 1);
  EXPECT_FALSE(IsExtSuperblock(superblock.data(), superblock.size()));
  std::vector<uint8_t> whole = ReadHead(ext, 0, kExtSuperblockOffset + kExtSuperblockBytes);
  EXPECT_EQ(ClassifyVolume(whole.data(), whole.size()), VolumeClass::Ext);
}

class FactoryTest : public ::testing::Test {
 protected:
  // A copy of the first `length` bytes of a fixture image in a temp folder.
  std::u16string CopyOfHead(const std::string& image, size_t length) {
    const std::u16string source = test_support::FixturePath(image);
    if (source.empty() || !platform::PathExists(source)) return std::u16string();
    if (folder_.empty()) folder_ = test_support::MakeTempFolder("factory");
    const std::u16string path =
        platform::JoinPath(folder_, platform::Utf8ToUtf16(std::to_string(length) + image));
    EXPECT_TRUE(test_support::WriteWholeFile(path, ReadHead(source, 0, length)));
    return path;
  }
  void TearDown() override {
    if (!folder_.empty()) platform::DeleteTree(folder_);
  }
  std::u16string folder_;
};

TEST_F(FactoryTest, ExtGetsThePlaceholderThatFindsNothing) {
  const std::u16string path = test_support::FixturePath("ext4.img");
  REQUIRE_FIXTURE(path);
  std::unique_ptr<IFileRecoveryParse> engine = CreateImageEngine(path, u'E', false);
  ASSERT_NE(engine, nullptr);
  EXPECT_NE(dynamic_cast<CFastExtRecovery*>(engine.get()), nullptr);
  EXPECT_EQ(engine->Scan(nullptr), 0);
  EXPECT_EQ(engine->GetEntryCount(), 0u);
  std::vector<FoundEntry> listed;
  EXPECT_EQ(engine->ListFolder(nullptr, 0, &listed), 0);
  EXPECT_TRUE(listed.empty());
  // No allocation map: the free-extent walk is told so and its outputs stay.
  EXPECT_EQ(engine->LoadAllocationMap(), 0);
  uint64_t sector = 7, count = 0;
  EXPECT_EQ(engine->NextFreeExtent(&sector, &count), 0);
  EXPECT_EQ(sector, 7u);
  EXPECT_EQ(count, 0u);
}

TEST_F(FactoryTest, NoQuickEngineForAnUnrecognisedSource) {
  const std::u16string path = test_support::FixturePath("mbr-disk.img");
  REQUIRE_FIXTURE(path);
  EXPECT_EQ(CreateImageEngine(path, 1, false), nullptr);
}

// 16,384 bytes are needed in full: one byte less gets no engine.
TEST_F(FactoryTest, ImagesUnderSixteenKiBGetNoEngine) {
  const std::u16string exact = CopyOfHead("ext4.img", kClassifyBytes);
  REQUIRE_FIXTURE(exact);
  EXPECT_NE(CreateImageEngine(exact, 1, false), nullptr);
  const std::u16string shorter = CopyOfHead("ext4.img", kClassifyBytes - 1);
  EXPECT_EQ(CreateImageEngine(shorter, 1, false), nullptr);
  EXPECT_EQ(CreateImageEngine(shorter, 1, true), nullptr);
  SourceReport report;
  EXPECT_NE(ClassifyImage(shorter, &report), 0);
}

TEST_F(FactoryTest, MissingSourcesGetNoEngine) {
  EXPECT_EQ(CreateImageEngine(u"/nonexistent/varnelle.img", 1, false), nullptr);
  EXPECT_EQ(CreateDiskEngine(4000, 0, 0, 0, false), nullptr);
  SourceReport report;
  EXPECT_NE(ClassifyDisk(4000, 0, 0, 0, &report), 0);
}

}  // namespace
