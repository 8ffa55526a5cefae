// Bounds-checked reading of NTFS file records: the update-sequence fix-ups,
// the header, the attribute walk, $FILE_NAME values and attribute lists.
// Every function here stays inside the bytes it is given; a check that fails
// reports the record as corrupt instead of reading past it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ntfs {

constexpr uint32_t kAttrStandardInformation = 0x10;
constexpr uint32_t kAttrAttributeList = 0x20;
constexpr uint32_t kAttrFileName = 0x30;
constexpr uint32_t kAttrData = 0x80;
constexpr uint32_t kAttrIndexAllocation = 0xA0;
constexpr uint32_t kAttrBitmap = 0xB0;
constexpr uint32_t kAttrEnd = 0xFFFFFFFF;

constexpr uint16_t kRecordInUse = 0x0001;
constexpr uint16_t kRecordDirectory = 0x0002;

// Every 512 bytes of a record end with the update sequence number, whatever
// the sector size; the original words wait in the array behind it.
constexpr uint32_t kFixupStride = 512;
constexpr uint32_t kSequenceNumberOffset = 0x30;
constexpr uint32_t kSequenceArrayOffset = 0x32;

constexpr uint32_t kMinResidentAttribute = 0x18;
constexpr uint32_t kMinNonResidentAttribute = 0x40;

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Le64(const uint8_t* p) {
  return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

bool HasFileSignature(const uint8_t* record, uint32_t size);

enum class FixupResult {
  Applied,   // every stride carried the sequence number
  Damaged,   // at least one stride did not: the record was torn or overwritten
};
// Writes the array's words back over the last two bytes of each 512-byte
// stride of the record. The count is recordSize / 512, cut to what the array
// at 0x32 can hold inside the record.
FixupResult ApplyFixups(uint8_t* record, uint32_t recordSize);

struct RecordHeader {
  uint16_t firstAttribute = 0;
  uint16_t flags = 0;
  uint32_t bytesInUse = 0;
  uint32_t number = 0;
};
// The header fields of a record of at least 0x30 bytes.
RecordHeader ReadRecordHeader(const uint8_t* record);

// One attribute as the walk hands it out; every pointer lies inside the
// record and every length has been checked against the attribute.
struct Attribute {
  uint32_t type = 0;
  uint32_t length = 0;
  bool nonResident = false;
  uint8_t nameLength = 0;
  const uint8_t* bytes = nullptr;  // the attribute's first byte
  // Resident attributes: the value.
  const uint8_t* value = nullptr;
  uint32_t valueLength = 0;
  // Non-resident attributes: the header's sizes.
  uint64_t startVcn = 0;
  uint64_t realSize = 0;
};

enum class WalkStep { Attribute, End, Corrupt };

// Walks the attributes from the header's first-attribute offset to `areaEnd`
// (never past the record). Ends at the end marker, a length of 0, a type of 0
// or of 0xFDFDFDFD and above (fill patterns, never real types), or when no
// attribute header fits before the end. An attribute shorter than its kind's
// header, longer than the area, or whose value lies outside it, is Corrupt.
class AttributeWalker {
 public:
  AttributeWalker(const uint8_t* record, uint32_t areaEnd, uint32_t firstAttribute);
  WalkStep Next(Attribute* out);

 private:
  const uint8_t* record_;
  uint32_t areaEnd_;
  uint32_t position_;
  bool finished_ = false;
};

// The end of the walk area of a record: its bytes in use when `useBytesInUse`,
// but never past the record.
uint32_t WalkAreaEnd(const RecordHeader& header, uint32_t recordSize, bool useBytesInUse);

enum FileNameSpace : uint8_t { kNamePosix = 0, kNameWin32 = 1, kNameDos = 2, kNameWin32AndDos = 3 };

struct FileNameInfo {
  uint32_t parent = 0;  // low 32 bits of the parent reference
  uint64_t created = 0;
  uint64_t modified = 0;
  uint64_t accessed = 0;
  uint64_t realSize = 0;
  uint8_t nameSpace = 0;
  std::u16string name;
};
// Reads a resident $FILE_NAME value; false when the attribute is not resident
// or the value is too short for its fixed part and its name.
bool ParseFileName(const Attribute& attribute, FileNameInfo* out);

struct AttributeListEntry {
  uint32_t type = 0;
  uint8_t nameLength = 0;
  uint64_t startVcn = 0;
  uint32_t recordNumber = 0;  // low 32 bits of the reference
};
// The entries of an attribute list's data, up to the first entry that is
// empty, ends the list or does not fit.
std::vector<AttributeListEntry> ParseAttributeList(const uint8_t* data, uint32_t size);

}  // namespace ntfs
