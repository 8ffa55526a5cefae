// Helpers of the FAT engine tests: copies of the fixture images that a test
// may patch, directory entries written by hand, and the found tree read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engines/fat/fat_quick_scan.h"
#include "platform/platform.h"
#include "scanlog/scan_history.h"
#include "tests/test_support.h"

namespace fat_test {

// An image held in memory, patched, and written back before it is opened.
struct Image {
  std::u16string path;
  std::vector<uint8_t> bytes;
  FatGeometry geometry;

  // Reads a fixture and writes the private copy that the test patches.
  bool Load(const std::string& fixture) {
    const std::u16string source = test_support::FixturePath(fixture);
    if (source.empty() || !test_support::ReadWholeFile(source, &bytes)) return false;
    path = platform::JoinPath(test_support::MakeTempFolder("fat"), platform::Utf8ToUtf16(fixture));
    return ParseFatBootSector(bytes.data(), bytes.size(), &geometry) == 0 && Save();
  }
  bool Save() const { return test_support::WriteWholeFile(path, bytes); }
  // Writes bytes[offset, offset + length) into the copy in place.
  bool SaveRange(uint64_t offset, size_t length) const {
    platform::FileHandle handle;
    if (platform::OpenFile(path, platform::Access::ReadWrite,
                           platform::Disposition::OpenExisting, &handle) != 0) {
      return false;
    }
    uint32_t written = 0;
    const bool ok = platform::Seek(handle, offset) == 0 &&
                    platform::WriteSome(handle, bytes.data() + offset, uint32_t(length),
                                        &written) == 0 &&
                    written == length;
    platform::CloseFile(handle);
    return ok;
  }
  // Saves only the first FAT (what the FAT tests patch).
  bool SaveFat() const {
    return SaveRange(FatOffset(), size_t(geometry.sectorsPerFat) * geometry.bytesPerSector);
  }
  uint64_t ClusterOffset(uint32_t cluster) const {
    return geometry.ClusterSector(cluster) * geometry.bytesPerSector;
  }
  uint64_t FatOffset() const { return uint64_t(geometry.reservedSectors) * geometry.bytesPerSector; }
  // Sets a FAT32 or FAT16 entry of the first FAT.
  void SetFatEntry(uint32_t cluster, uint32_t value) {
    uint8_t* p = bytes.data() + FatOffset() + cluster * (geometry.IsFat32() ? 4 : 2);
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
    if (geometry.IsFat32()) {
      p[2] = uint8_t(value >> 16);
      p[3] = uint8_t(value >> 24);
    }
  }
  // The cluster that holds a directory entry found at `entrySector`.
  uint32_t ClusterOfSector(uint64_t entrySector) const {
    return uint32_t((entrySector - geometry.dataAreaStart) / geometry.sectorsPerCluster + 2);
  }
  // Offset of the first 0x00 entry at or after `offset` within `bytesLimit`.
  uint64_t FirstFreeEntry(uint64_t offset, uint64_t bytesLimit) const {
    for (uint64_t at = offset; at < offset + bytesLimit; at += 32) {
      if (bytes[at] == 0) return at;
    }
    return 0;
  }
};

// A short entry: 11 name bytes, attributes, first cluster, size, all three
// dates 2020-01-01 12:00.
inline std::vector<uint8_t> ShortEntry(const char* name11, uint8_t attributes, uint32_t cluster,
                                       uint32_t size) {
  std::vector<uint8_t> e(32, 0);
  std::memcpy(e.data(), name11, 11);
  e[11] = attributes;
  const uint16_t date = (40 << 9) | (1 << 5) | 1, time = 12 << 11;
  for (size_t at : {0x0E, 0x16}) { e[at] = uint8_t(time); e[at + 1] = uint8_t(time >> 8); }
  for (size_t at : {0x10, 0x12, 0x18}) { e[at] = uint8_t(date); e[at + 1] = uint8_t(date >> 8); }
  e[0x14] = uint8_t(cluster >> 16); e[0x15] = uint8_t(cluster >> 24);
  e[0x1A] = uint8_t(cluster); e[0x1B] = uint8_t(cluster >> 8);
  for (int i = 0; i < 4; ++i) e[0x1C + i] = uint8_t(size >> (8 * i));
  return e;
}

// One long-name entry holding up to 13 characters of `text` (ASCII).
inline std::vector<uint8_t> LongNameEntry(const std::string& text, uint8_t sequence) {
  static const size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  std::vector<uint8_t> e(32, 0xFF);
  e[0] = sequence;
  e[11] = 0x0F;
  e[12] = 0;
  e[13] = 0;
  e[26] = 0;
  e[27] = 0;
  for (size_t i = 0; i < 13; ++i) {
    const uint16_t c = i < text.size() ? uint8_t(text[i]) : (i == text.size() ? 0 : 0xFFFF);
    e[kOffsets[i]] = uint8_t(c);
    e[kOffsets[i] + 1] = uint8_t(c >> 8);
  }
  return e;
}

// The long-name entries of `text` (ASCII) in disk order: last part first.
inline std::vector<std::vector<uint8_t>> LongNameEntries(const std::string& text) {
  std::vector<std::vector<uint8_t>> entries;
  const size_t parts = (text.size() + 12) / 13;
  for (size_t part = parts; part > 0; --part) {
    const uint8_t sequence = uint8_t(part | (part == parts ? 0x40 : 0));
    entries.push_back(LongNameEntry(text.substr((part - 1) * 13, 13), sequence));
  }
  return entries;
}

// Writes entries one after the other from `offset`.
inline uint64_t PutEntries(Image& image, uint64_t offset,
                           const std::vector<std::vector<uint8_t>>& entries) {
  for (const auto& e : entries) {
    std::copy(e.begin(), e.end(), image.bytes.begin() + offset);
    offset += 32;
  }
  return offset;
}

// Every record of a finished scan by its path ("Old Album/Sub Folder/x").
inline void CollectTree(CFastFatRecovery& engine, const FoundEntry* folder, uint32_t level,
                        const std::string& prefix, std::map<std::string, FoundEntry>* out) {
  std::vector<FoundEntry> children;
  ASSERT_EQ(engine.ListFolder(folder, level, &children), 0);
  for (const FoundEntry& child : children) {
    const std::string path = prefix + test_support::AnsiNameToUtf8(child.name, sizeof child.name);
    ASSERT_EQ(out->count(path), 0u) << "recorded twice: " << path;
    (*out)[path] = child;
    if (child.isFolder) CollectTree(engine, &child, level + 1, path + "/", out);
  }
}

// Scans into a fresh application-data folder (logs of one minute share a
// name and would be appended to) and reads the whole tree back.
inline std::map<std::string, FoundEntry> ScanTree(CFastFatRecovery& engine) {
  test_support::UseFreshDataFolder();
  ReloadScanHistory();
  std::map<std::string, FoundEntry> tree;
  EXPECT_EQ(engine.Scan(nullptr), 0);
  CollectTree(engine, nullptr, 0, "", &tree);
  return tree;
}

}  // namespace fat_test
