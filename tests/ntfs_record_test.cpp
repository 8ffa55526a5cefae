// The NTFS record pieces on crafted records: fix-ups, the attribute walk's
// bounds, $FILE_NAME values, attribute lists and run lists. Buffers are sized
// exactly, so any read past them shows under the address sanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engines/ntfs/ntfs_record.h"
#include "engines/ntfs/ntfs_runs.h"

namespace {

using namespace ntfs;

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
  std::copy(bytes, bytes + 2, b.begin() + static_cast<std::ptrdiff_t>(at));
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
  Put32(b, at, static_cast<uint32_t>(v));
  Put32(b, at + 4, static_cast<uint32_t>(v >> 32));
}

// Builds a record the way NTFS lays it out, attribute by attribute.
class RecordBuilder {
 public:
  explicit RecordBuilder(uint32_t size, uint32_t firstAttribute = 0x38)
      : bytes_(size, 0), position_(firstAttribute) {
    std::memcpy(bytes_.data(), "FILE", 4);
    Put16(bytes_, 0x04, kSequenceNumberOffset);
    Put16(bytes_, 0x06, size / kFixupStride + 1);
    Put16(bytes_, 0x14, firstAttribute);
    Put32(bytes_, 0x1C, size);
    Put16(bytes_, kSequenceNumberOffset, 0x0007);
  }
  // A resident attribute holding `value`; returns its offset.
  uint32_t Resident(uint32_t type, const std::vector<uint8_t>& value) {
    const uint32_t at = position_;
    const uint32_t length = Align8(0x18 + static_cast<uint32_t>(value.size()));
    Header(type, length, false);
    Put32(bytes_, at + 0x10, static_cast<uint32_t>(value.size()));
    Put16(bytes_, at + 0x14, 0x18);
    std::memcpy(bytes_.data() + at + 0x18, value.data(), value.size());
    position_ += length;
    return at;
  }
  // A non-resident attribute with the run list `runs`; returns its offset.
  uint32_t NonResident(uint32_t type, const std::vector<uint8_t>& runs, uint64_t realSize) {
    const uint32_t at = position_;
    const uint32_t length = Align8(0x40 + static_cast<uint32_t>(runs.size()) + 1);
    Header(type, length, true);
    Put16(bytes_, at + 0x20, 0x40);
    Put64(bytes_, at + 0x30, realSize);
    std::memcpy(bytes_.data() + at + 0x40, runs.data(), runs.size());
    position_ += length;
    return at;
  }
  std::vector<uint8_t>& bytes() { return bytes_; }
  // End marker and bytes in use; the record as it is in memory.
  std::vector<uint8_t> Plain() {
    Put32(bytes_, position_, kAttrEnd);
    Put32(bytes_, 0x18, position_ + 8);
    return bytes_;
  }
  // The record as it is on disk: the update sequence written over every
  // stride's last word, the words themselves saved in the array.
  std::vector<uint8_t> Finish() { return Protect(Plain()); }
  static std::vector<uint8_t> Protect(std::vector<uint8_t> record) {
    for (uint32_t i = 0; i < record.size() / kFixupStride; ++i) {
      const size_t end = kFixupStride * (i + 1) - 2;
      record[kSequenceArrayOffset + 2 * i] = record[end];
      record[kSequenceArrayOffset + 2 * i + 1] = record[end + 1];
      Put16(record, end, 0x0007);
    }
    return record;
  }

 private:
  static uint32_t Align8(uint32_t n) { return (n + 7) & ~7u; }
  void Header(uint32_t type, uint32_t length, bool nonResident) {
    Put32(bytes_, position_, type);
    Put32(bytes_, position_ + 4, length);
    bytes_[position_ + 8] = nonResident ? 1 : 0;
  }
  std::vector<uint8_t> bytes_;
  uint32_t position_;
};

std::vector<uint8_t> FileNameValue(const std::u16string& name, uint8_t nameSpace, uint32_t parent) {
  std::vector<uint8_t> value(0x42 + 2 * name.size(), 0);
  Put64(value, 0x00, parent);
  Put64(value, 0x08, 111);
  Put64(value, 0x10, 222);
  Put64(value, 0x20, 333);
  Put64(value, 0x30, 4444);
  value[0x40] = static_cast<uint8_t>(name.size());
  value[0x41] = nameSpace;
  for (size_t i = 0; i < name.size(); ++i) Put16(value, 0x42 + 2 * i, name[i]);
  return value;
}

// Walks a record to its end; the last step says how the walk ended.
WalkStep WalkAll(const std::vector<uint8_t>& record, bool useBytesInUse,
                 std::vector<Attribute>* seen = nullptr) {
  const RecordHeader header = ReadRecordHeader(record.data());
  AttributeWalker walker(record.data(),
                         WalkAreaEnd(header, static_cast<uint32_t>(record.size()), useBytesInUse),
                         header.firstAttribute);
  Attribute attribute;
  WalkStep step;
  while ((step = walker.Next(&attribute)) == WalkStep::Attribute) {
    if (seen) seen->push_back(attribute);
  }
  return step;
}

TEST(NtfsRecord, FixupsRestoreEvery512ByteStrideOfA4096ByteRecord) {
  // A run list that crosses offset 0x1FE, the end of the first stride.
  RecordBuilder builder(4096, 0x48);
  builder.Resident(kAttrFileName, FileNameValue(u"x.bin", kNameWin32, 5));  // ends at 0xB0
  builder.Resident(kAttrStandardInformation, std::vector<uint8_t>(0xF0, 0x5A));  // to 0x1B8
  const std::vector<uint8_t> runs = {0x21, 0x10, 0x34, 0x12, 0x11, 0x08, 0x20,
                                     0x31, 0x04, 0x00, 0x10, 0x02};
  const uint32_t at = builder.NonResident(kAttrData, runs, 12345);  // list at 0x1F8..0x203
  ASSERT_EQ(0x1B8u, at);
  for (uint32_t stride = 2; stride <= 8; ++stride) Put16(builder.bytes(), stride * 512 - 2, 0xE0 + stride);
  const std::vector<uint8_t> plain = builder.Plain();
  std::vector<uint8_t> record = RecordBuilder::Protect(plain);
  ASSERT_NE(0, std::memcmp(record.data() + at + 0x40, runs.data(), runs.size()));

  ASSERT_TRUE(HasFileSignature(record.data(), 4096));
  EXPECT_EQ(FixupResult::Applied, ApplyFixups(record.data(), 4096));
  // Every stride is whole again, the eighth as much as the first.
  EXPECT_TRUE(std::equal(record.begin() + 0x48, record.end(), plain.begin() + 0x48));
  std::vector<Attribute> seen;
  ASSERT_EQ(WalkStep::End, WalkAll(record, true, &seen));
  ASSERT_EQ(3u, seen.size());
  const std::vector<ClusterExtent> extents =
      ToExtents(DecodeRunList(seen[2].bytes, seen[2].length, 4096));
  ASSERT_EQ(3u, extents.size());
  EXPECT_EQ(0x1234, extents[0].firstCluster);
  EXPECT_EQ(0x10u, extents[0].clusterCount);
  EXPECT_EQ(0x1234 + 0x20, extents[1].firstCluster);
  EXPECT_EQ(8u, extents[1].clusterCount);
  EXPECT_EQ(0x1234 + 0x20 + 0x021000, extents[2].firstCluster);
  EXPECT_EQ(4u, extents[2].clusterCount);
  EXPECT_EQ(12345u, seen[2].realSize);
}

TEST(NtfsRecord, AStrideWithoutTheSequenceNumberMarksTheRecordDamaged) {
  RecordBuilder builder(1024);
  builder.Resident(kAttrFileName, FileNameValue(u"a.txt", kNameWin32, 5));
  std::vector<uint8_t> record = builder.Finish();
  Put16(record, 1022, 0x0008);  // the second sector was written later
  EXPECT_EQ(FixupResult::Damaged, ApplyFixups(record.data(), 1024));
  // A record too small for its array is damaged, never read past.
  std::vector<uint8_t> tiny(0x30, 0);
  EXPECT_EQ(FixupResult::Damaged, ApplyFixups(tiny.data(), 0x30));
}

// Crafted attribute chains: each must end the walk inside the record.
TEST(NtfsRecord, TheWalkStaysInsideCorruptRecords) {
  struct Case {
    const char* what;
    void (*patch)(std::vector<uint8_t>&, uint32_t at);
    bool useBytesInUse;
    WalkStep expected;
  };
  const Case cases[] = {
      {"length 8", [](std::vector<uint8_t>& r, uint32_t at) { Put32(r, at + 4, 8); }, true,
       WalkStep::Corrupt},
      {"length 0xFFFFFFF0", [](std::vector<uint8_t>& r, uint32_t at) { Put32(r, at + 4, 0xFFFFFFF0); },
       true, WalkStep::Corrupt},
      {"bytes in use 0x10000, last attribute up to the record's end",
       [](std::vector<uint8_t>& r, uint32_t at) {
         Put32(r, 0x18, 0x10000);
         const uint32_t last = at + Le32(r.data() + at + 4);
         Put32(r, last, kAttrData);
         Put32(r, last + 4, 1024 - last);
         Put32(r, last + 0x10, 0);
         Put16(r, last + 0x14, 0x18);
       },
       true, WalkStep::End},
      {"non-resident header cut",
       [](std::vector<uint8_t>& r, uint32_t at) {
         r[at + 8] = 1;
         Put32(r, at + 4, 0x30);
       },
       true, WalkStep::Corrupt},
      {"value offset past the attribute",
       [](std::vector<uint8_t>& r, uint32_t at) { Put16(r, at + 0x14, 0x400); }, true,
       WalkStep::Corrupt},
      {"value length past the attribute",
       [](std::vector<uint8_t>& r, uint32_t at) { Put32(r, at + 0x10, 0xFFFFFFFF); }, false,
       WalkStep::Corrupt},
      {"first attribute beyond the record",
       [](std::vector<uint8_t>& r, uint32_t) { Put16(r, 0x14, 0xFFF0); }, false, WalkStep::End},
      {"first attribute inside the header",
       [](std::vector<uint8_t>& r, uint32_t) { Put16(r, 0x14, 0x04); }, false, WalkStep::End},
      {"attribute header cut by the record's end",
       [](std::vector<uint8_t>& r, uint32_t) {
         Put16(r, 0x14, 1024 - 8);
         Put32(r, 1024 - 8, 0x30);
       },
       false, WalkStep::Corrupt},
  };
  for (const Case& c : cases) {
    RecordBuilder builder(1024);
    const uint32_t at = builder.Resident(kAttrFileName, FileNameValue(u"a.txt", kNameWin32, 5));
    std::vector<uint8_t> record = builder.Finish();
    ApplyFixups(record.data(), 1024);
    c.patch(record, at);
    EXPECT_EQ(c.expected, WalkAll(record, c.useBytesInUse)) << c.what;
  }
}

TEST(NtfsRecord, FileNameValuesAreCheckedAgainstTheirLength) {
  // A 255-character name that ends exactly at the end of the record.
  const std::u16string longName(255, u'n');
  std::vector<uint8_t> value = FileNameValue(longName, kNameWin32, 77);
  RecordBuilder builder(1024, 1024 - 8 - 0x258);  // crosses 0x1FE too
  const uint32_t at = builder.Resident(kAttrFileName, value);
  std::vector<uint8_t> record = builder.Finish();
  ApplyFixups(record.data(), 1024);
  std::vector<Attribute> seen;
  ASSERT_EQ(WalkStep::End, WalkAll(record, true, &seen));
  ASSERT_EQ(1u, seen.size());
  FileNameInfo info;
  ASSERT_TRUE(ParseFileName(seen[0], &info));
  EXPECT_EQ(longName, info.name);
  EXPECT_EQ(77u, info.parent);
  EXPECT_EQ(111u, info.created);
  EXPECT_EQ(222u, info.modified);
  EXPECT_EQ(333u, info.accessed);
  EXPECT_EQ(kNameWin32, info.nameSpace);

  // The same value claiming one character more than it holds.
  Put32(record, at + 0x10, 0x42 + 2 * 254);
  seen.clear();
  ASSERT_EQ(WalkStep::End, WalkAll(record, true, &seen));
  EXPECT_FALSE(ParseFileName(seen[0], &info));
}

TEST(NtfsRecord, AttributeListEntriesEndAtTheFirstBadEntry) {
  std::vector<uint8_t> list(0x20 * 3, 0);
  Put32(list, 0x00, kAttrData);
  Put16(list, 0x04, 0x20);
  Put64(list, 0x08, 0);
  Put64(list, 0x10, 0x0003000000000123ull);
  Put32(list, 0x20, kAttrData);
  Put16(list, 0x24, 0x20);
  Put64(list, 0x28, 96);
  Put64(list, 0x30, 0x456);
  Put32(list, 0x40, kAttrData);
  Put16(list, 0x44, 0x400);  // longer than the list
  const std::vector<AttributeListEntry> entries = ParseAttributeList(list.data(), 0x60);
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ(0x123u, entries[0].recordNumber);
  EXPECT_EQ(96u, entries[1].startVcn);
  EXPECT_EQ(0x456u, entries[1].recordNumber);
  EXPECT_TRUE(ParseAttributeList(list.data(), 0x19).empty());
}

// A non-resident attribute of `length` bytes whose list starts at 0x40.
std::vector<uint8_t> RunAttribute(const std::vector<uint8_t>& runs, uint32_t length) {
  std::vector<uint8_t> attribute(length, 0);
  Put16(attribute, 0x20, 0x40);
  if (!runs.empty()) std::copy(runs.begin(), runs.begin() + std::min<size_t>(runs.size(), length - 0x40), attribute.begin() + 0x40);
  return attribute;
}

TEST(NtfsRuns, SparseRunsDoNotMoveTheClusterAndAreMarked) {
  // [10 clusters at LCN 100][sparse 5][5 at LCN 200]
  const std::vector<uint8_t> runs = {0x11, 10, 100, 0x01, 5, 0x11, 5, 100, 0x00};
  const std::vector<uint8_t> attribute = RunAttribute(runs, 0x50);
  const std::vector<DataRun> decoded = DecodeRunList(attribute.data(), 0x50, 512);
  ASSERT_EQ(3u, decoded.size());
  EXPECT_TRUE(decoded[1].sparse);
  EXPECT_EQ(0, decoded[1].clusterDelta);
  const std::vector<ClusterExtent> extents = ToExtents(decoded);
  EXPECT_EQ(100, extents[0].firstCluster);
  EXPECT_FALSE(extents[0].sparse);
  EXPECT_TRUE(extents[1].sparse);
  EXPECT_EQ(5u, extents[1].clusterCount);
  EXPECT_EQ(200, extents[2].firstCluster);
  EXPECT_EQ(20u, TotalClusters(extents));
}

TEST(NtfsRuns, HostileListsEndInsideTheAttribute) {
  struct Case {
    const char* what;
    std::vector<uint8_t> runs;
    uint32_t length;
    uint32_t sectorBytes;
    size_t expectedRuns;
  };
  const Case cases[] = {
      {"header at the attribute's last byte", {0x11, 4, 9, 0x11}, 0x44, 512, 1},
      {"fields cut by the attribute's end", {0x11, 4, 9, 0x44, 1, 2}, 0x46, 512, 1},
      {"eight-byte length field", {0x18, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 0x50, 512, 0},
      {"attribute as long as a sector", {0x11, 4, 9, 0}, 512, 512, 0},
      {"list offset outside the attribute", {}, 0x40, 512, 0},
      {"length kept to 32 bits", {0x15, 1, 0, 0, 0, 1, 9, 0}, 0x50, 512, 1},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> attribute = RunAttribute(c.runs, c.length);
    if (c.runs.empty()) Put16(attribute, 0x20, 0x40);
    const std::vector<DataRun> runs = DecodeRunList(attribute.data(), c.length, c.sectorBytes);
    EXPECT_EQ(c.expectedRuns, runs.size()) << c.what;
    if (std::string(c.what) == "length kept to 32 bits" && !runs.empty()) {
      EXPECT_EQ(1u, runs[0].clusterCount);
    }
  }
  // A negative offset moves back from the previous run.
  const std::vector<uint8_t> backwards = {0x11, 1, 50, 0x11, 1, 0xF6, 0};
  const std::vector<uint8_t> attribute = RunAttribute(backwards, 0x48);
  const std::vector<ClusterExtent> extents = ToExtents(DecodeRunList(attribute.data(), 0x48, 512));
  ASSERT_EQ(2u, extents.size());
  EXPECT_EQ(40, extents[1].firstCluster);
}

}  // namespace
