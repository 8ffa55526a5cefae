#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "platform/platform.h"
#include "storage/sector_source.h"
#include "tests/loop_device.h"
#include "tests/test_support.h"

namespace {

constexpr uint32_t kSector = 512;
constexpr uint32_t kChunk = 65536;

// Bytes that differ from sector to sector, so a copy from the wrong offset
// shows.
std::vector<uint8_t> Pattern(size_t bytes) {
  std::vector<uint8_t> out(bytes);
  for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(i * 7 + i / kSector);
  return out;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t offset, size_t length) {
  return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                              bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

std::vector<uint8_t> FileBytes(const std::u16string& path) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(test_support::ReadWholeFile(path, &bytes));
  return bytes;
}

class SectorSourceTest : public testing::Test {
 protected:
  void SetUp() override { folder_ = test_support::MakeTempFolder("sectors"); }
  void TearDown() override { platform::DeleteTree(folder_); }

  std::u16string PathOf(const char16_t* name) const { return platform::JoinPath(folder_, name); }

  std::u16string MakeFile(const char16_t* name, const std::vector<uint8_t>& bytes) const {
    const std::u16string path = PathOf(name);
    EXPECT_TRUE(test_support::WriteWholeFile(path, bytes));
    return path;
  }

  // A copy task whose source is an open file instead of a disk.
  DiskCopyTask TaskFromFile(const std::u16string& source, uint64_t start, uint64_t count) const {
    DiskCopyTask task;
    EXPECT_EQ(platform::OpenFile(source, platform::Access::Read,
                                 platform::Disposition::OpenExisting, &task.diskHandle),
              0);
    task.startSector = start;
    task.sectorCount = count;
    return task;
  }

  std::u16string folder_;
};

TEST_F(SectorSourceTest, ImageOf1000BytesHasOneSectorAndItsTailIsNeverRead) {
  const std::vector<uint8_t> bytes = Pattern(1000);
  SectorSource source;
  ASSERT_EQ(OpenImageSource(source, MakeFile(u"small.img", bytes)), 0);
  EXPECT_EQ(source.totalSectors, 1u);

  std::vector<uint8_t> buffer(1024, 0xEE);
  uint32_t read = 99;
  EXPECT_EQ(ReadSectors(source, buffer.data(), 0, 1, kSector, &read), 0);
  EXPECT_EQ(read, 1u);
  EXPECT_EQ(Slice(buffer, 0, kSector), Slice(bytes, 0, kSector));
  EXPECT_EQ(Slice(buffer, kSector, kSector), std::vector<uint8_t>(kSector, 0xEE));

  EXPECT_EQ(ReadSectors(source, buffer.data(), 0, 2, kSector, &read), kErrorInvalidParameter);
  EXPECT_EQ(read, 0u);
  CloseSource(source);
  EXPECT_EQ(source.handle, platform::kInvalidHandle);
}

TEST_F(SectorSourceTest, ReadsUpToTheLastSectorAndRefusesOneMoreWithoutIo) {
  const std::vector<uint8_t> bytes = Pattern(200 * kSector);
  SectorSource source;
  ASSERT_EQ(OpenImageSource(source, MakeFile(u"disk.img", bytes)), 0);
  ASSERT_EQ(source.totalSectors, 200u);

  // Longer than one 64 KiB piece, and ending exactly at the last sector.
  std::vector<uint8_t> buffer(bytes.size());
  uint32_t read = 0;
  EXPECT_EQ(ReadSectors(source, buffer.data(), 0, 200, kSector, &read), 0);
  EXPECT_EQ(read, 200u);
  EXPECT_EQ(buffer, bytes);
  EXPECT_EQ(ReadSectors(source, buffer.data(), 199, 1, kSector, &read), 0);
  EXPECT_EQ(Slice(buffer, 0, kSector), Slice(bytes, 199 * kSector, kSector));
  CloseSource(source);

  // Out of range: refused before any I/O, so a source without a handle still
  // answers 87 (an attempted seek would fail with 6).
  SectorSource unopened;
  unopened.totalSectors = 200;
  struct Case {
    uint64_t start;
    uint32_t count;
  };
  const Case cases[] = {{200, 1}, {199, 2}, {0, 201}, {UINT64_MAX, 2}, {1, UINT32_MAX}};
  for (const Case& c : cases) {
    EXPECT_EQ(ReadSectors(unopened, buffer.data(), c.start, c.count, kSector, &read),
              kErrorInvalidParameter)
        << "start " << c.start << " count " << c.count;
    EXPECT_EQ(read, 0u);
  }
}

TEST_F(SectorSourceTest, ShortReadFailsWith30AndCountsTheWholeSectorsThatArrived) {
  const std::vector<uint8_t> bytes = Pattern(1300);
  SectorSource source;
  ASSERT_EQ(OpenImageSource(source, MakeFile(u"short.img", bytes)), 0);
  source.totalSectors = 4;  // as if the file had shrunk since it was opened

  std::vector<uint8_t> buffer(4 * kSector);
  uint32_t read = 0;
  EXPECT_EQ(ReadSectors(source, buffer.data(), 0, 4, kSector, &read), kErrorReadFault);
  EXPECT_EQ(read, 2u);
  EXPECT_EQ(Slice(buffer, 0, 2 * kSector), Slice(bytes, 0, 2 * kSector));

  uint32_t bytesRead = 0;
  ASSERT_EQ(platform::Seek(source.handle, 0), 0);
  EXPECT_EQ(ReadFully(source.handle, buffer.data(), 2000, &bytesRead), kErrorReadFault);
  EXPECT_EQ(bytesRead, 1300u);
  CloseSource(source);
}

TEST_F(SectorSourceTest, CopyOverALargerFileLeavesExactlyTheCopiedSectors) {
  const std::vector<uint8_t> disk = Pattern(4 << 20);
  const std::u16string source = MakeFile(u"disk.img", disk);
  const std::u16string out = MakeFile(u"out.img", std::vector<uint8_t>(2 << 20, 0xAA));

  DiskCopyTask task = TaskFromFile(source, 16, (1 << 20) / kSector);
  EXPECT_EQ(CopySectorsToFile(task, out), 0);
  EXPECT_EQ(task.diskHandle, platform::kInvalidHandle);
  EXPECT_EQ(task.fileHandle, platform::kInvalidHandle);
  EXPECT_EQ(FileBytes(out), Slice(disk, 16 * kSector, 1 << 20));
}

struct ProgressCall {
  int32_t percent;
  uint64_t done;
  uint64_t total;
  int32_t secondsLeft;
};

struct ProgressLog {
  std::vector<ProgressCall> calls;
  int32_t answer = 0;
};

int32_t VARNELLE_CALLBACK RecordProgress(void* userData, int32_t percent, uint64_t done, uint64_t total,
                       int32_t secondsLeft) {
  auto* log = static_cast<ProgressLog*>(userData);
  log->calls.push_back({percent, done, total, secondsLeft});
  return log->answer;
}

TEST_F(SectorSourceTest, CancelAfterTheFirstChunkKeepsWhatWasWritten) {
  const std::vector<uint8_t> disk = Pattern(1 << 20);
  const std::u16string source = MakeFile(u"disk.img", disk);
  const std::u16string out = MakeFile(u"out.img", std::vector<uint8_t>(2 << 20, 0xAA));

  ProgressLog log;
  log.answer = ScanCancelled;
  DiskCopyTask task = TaskFromFile(source, 0, disk.size() / kSector);
  task.progress = RecordProgress;
  task.userData = &log;
  EXPECT_EQ(CopySectorsToFile(task, out), ScanCancelled);
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].done, kChunk / kSector);
  EXPECT_EQ(FileBytes(out), Slice(disk, 0, kChunk));
}

TEST_F(SectorSourceTest, ReadFailureMidCopyIsReportedAndKeepsTheChunksBeforeIt) {
  const std::vector<uint8_t> disk = Pattern(100 * 1024);
  const std::u16string source = MakeFile(u"disk.img", disk);
  const std::u16string out = PathOf(u"out.img");

  DiskCopyTask task = TaskFromFile(source, 0, 400);  // 200 KiB asked, 100 KiB there
  EXPECT_EQ(CopySectorsToFile(task, out), kErrorReadFault);
  EXPECT_EQ(FileBytes(out), Slice(disk, 0, kChunk));
}

// A clock that moves one second per reading.
uint32_t g_fakeNow = 0;
uint32_t OneSecondPerTick() {
  const uint32_t now = g_fakeNow;
  g_fakeNow += 1000;
  return now;
}

TEST_F(SectorSourceTest, ProgressHasNoEstimateForFiveSecondsThenRenewsItEveryFive) {
  const std::vector<uint8_t> disk = Pattern(10 * kChunk);
  const std::u16string source = MakeFile(u"disk.img", disk);

  ProgressLog log;
  DiskCopyTask task = TaskFromFile(source, 0, disk.size() / kSector);
  task.progress = RecordProgress;
  task.userData = &log;
  g_fakeNow = 0;
  ASSERT_EQ(CopySectorsToFile(task, PathOf(u"out.img"), OneSecondPerTick), 0);

  // Chunk k is done at k seconds; after 5 chunks in 5 s at 64 KiB/s, 5 s are
  // left; the next estimate comes at 10 s.
  const int32_t expectedSeconds[] = {-1, -1, -1, -1, 5, 5, 5, 5, 5, 0};
  ASSERT_EQ(log.calls.size(), 10u);
  for (size_t k = 0; k < 10; ++k) {
    EXPECT_EQ(log.calls[k].secondsLeft, expectedSeconds[k]) << "chunk " << k + 1;
    EXPECT_EQ(log.calls[k].percent, static_cast<int32_t>((k + 1) * 10));
    EXPECT_EQ(log.calls[k].done, (k + 1) * kChunk / kSector);
    EXPECT_EQ(log.calls[k].total, disk.size() / kSector);
  }
  EXPECT_EQ(FileBytes(PathOf(u"out.img")), disk);
}

TEST_F(SectorSourceTest, CopyOfAMissingDiskFailsWithoutCreatingTheDestination) {
  DiskCopyTask task;
  const std::u16string out = PathOf(u"out.img");
  EXPECT_EQ(CopyDiskToFile(task, 999, 0, 0, out, nullptr, nullptr), kErrorFileNotFound);
  EXPECT_FALSE(platform::PathExists(out));
  EXPECT_EQ(task.diskHandle, platform::kInvalidHandle);
}

#ifndef _WIN32

TEST_F(SectorSourceTest, LoopDeviceReadsAndCopiesLikeAPhysicalDisk) {
  const std::vector<uint8_t> bytes = Pattern(1 << 20);
  LoopDevice loop(platform::Utf16ToUtf8(MakeFile(u"disk.img", bytes)));
  const int disk = loop.DiskNumber();
  if (disk < 0) GTEST_SKIP() << "no loop device (needs root and loop support)";
  const auto n = static_cast<uint32_t>(disk);

  SectorSource source;
  ASSERT_EQ(OpenDiskSource(source, n), 0);
  EXPECT_EQ(source.totalSectors, 2048u);
  std::vector<uint8_t> buffer(kSector);
  uint32_t read = 0;
  EXPECT_EQ(ReadSectors(source, buffer.data(), 2047, 1, kSector, &read), 0);
  EXPECT_EQ(buffer, Slice(bytes, 2047 * kSector, kSector));
  EXPECT_EQ(ReadSectors(source, buffer.data(), 2048, 1, kSector, &read), kErrorInvalidParameter);
  CloseSource(source);

  uint64_t length = 0;
  EXPECT_EQ(GetDiskLength(&length, n), 0);
  EXPECT_EQ(length, bytes.size());
  EXPECT_FALSE(IsRemovableDisk(n));

  DiskCopyTask whole;
  EXPECT_EQ(CopyDiskToFile(whole, n, 0, 0, PathOf(u"whole.img"), nullptr, nullptr), 0);
  EXPECT_EQ(whole.sectorCount, 2048u);
  EXPECT_EQ(FileBytes(PathOf(u"whole.img")), bytes);

  DiskCopyTask range;
  EXPECT_EQ(CopyDiskToFile(range, n, 100, 300, PathOf(u"range.img"), nullptr, nullptr), 0);
  EXPECT_EQ(FileBytes(PathOf(u"range.img")), Slice(bytes, 100 * kSector, 300 * kSector));
}

TEST_F(SectorSourceTest, WholeCopyOfADiskWithoutAnySizeFailsAsNotReady) {
  LoopDevice loop(platform::Utf16ToUtf8(MakeFile(u"empty.img", {})));
  const int disk = loop.DiskNumber();
  if (disk < 0) GTEST_SKIP() << "no loop device (needs root and loop support)";

  DiskCopyTask task;
  const std::u16string out = PathOf(u"out.img");
  EXPECT_EQ(CopyDiskToFile(task, static_cast<uint32_t>(disk), 0, 0, out, nullptr, nullptr),
            kErrorNotReady);
  EXPECT_FALSE(platform::PathExists(out));
  EXPECT_EQ(task.diskHandle, platform::kInvalidHandle);
}

#endif  // !_WIN32

}  // namespace
