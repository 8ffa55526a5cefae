#include "engines/ntfs/ntfs_record.h"

#include <algorithm>
#include <cstring>

namespace ntfs {

namespace {

constexpr uint32_t kAttributeHeaderBytes = 16;
constexpr uint32_t kFileNameFixedBytes = 0x42;
constexpr uint32_t kListEntryMinBytes = 0x1A;
constexpr uint32_t kFillTypeStart = 0xFDFDFDFD;
constexpr uint32_t kRecordHeaderBytes = 0x30;

bool ReadResidentValue(const uint8_t* attribute, uint32_t length, Attribute* out) {
  const uint32_t valueLength = Le32(attribute + 0x10);
  const uint32_t valueOffset = Le16(attribute + 0x14);
  if (valueOffset > length || valueLength > length - valueOffset) return false;
  out->value = attribute + valueOffset;
  out->valueLength = valueLength;
  return true;
}

}  // namespace

bool HasFileSignature(const uint8_t* record, uint32_t size) {
  return size >= 4 && std::memcmp(record, "FILE", 4) == 0;
}

FixupResult ApplyFixups(uint8_t* record, uint32_t recordSize) {
  if (recordSize < kSequenceArrayOffset) return FixupResult::Damaged;
  const uint32_t arrayRoom = (recordSize - kSequenceArrayOffset) / 2;
  const uint32_t count = std::min(recordSize / kFixupStride, arrayRoom);
  const uint16_t sequence = Le16(record + kSequenceNumberOffset);
  FixupResult result = FixupResult::Applied;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* strideEnd = record + kFixupStride * (i + 1) - 2;
    if (Le16(strideEnd) != sequence) result = FixupResult::Damaged;
    std::memcpy(strideEnd, record + kSequenceArrayOffset + 2 * i, 2);
  }
  return result;
}

RecordHeader ReadRecordHeader(const uint8_t* record) {
  RecordHeader header;
  header.firstAttribute = Le16(record + 0x14);
  header.flags = Le16(record + 0x16);
  header.bytesInUse = Le32(record + 0x18);
  header.number = Le32(record + 0x2C);
  return header;
}

uint32_t WalkAreaEnd(const RecordHeader& header, uint32_t recordSize, bool useBytesInUse) {
  if (!useBytesInUse) return recordSize;
  return std::min(header.bytesInUse, recordSize);
}

AttributeWalker::AttributeWalker(const uint8_t* record, uint32_t areaEnd, uint32_t firstAttribute)
    : record_(record), areaEnd_(areaEnd), position_(firstAttribute) {
  // An attribute cannot start inside the record header.
  if (position_ < kRecordHeaderBytes) finished_ = true;
}

WalkStep AttributeWalker::Next(Attribute* out) {
  if (finished_) return WalkStep::End;
  finished_ = true;  // cleared again below only when an attribute is handed out
  if (position_ > areaEnd_ || areaEnd_ - position_ < 4) return WalkStep::End;
  const uint8_t* attribute = record_ + position_;
  const uint32_t type = Le32(attribute);
  if (type == kAttrEnd || type == 0 || type >= kFillTypeStart) return WalkStep::End;
  if (areaEnd_ - position_ < kAttributeHeaderBytes) return WalkStep::Corrupt;
  const uint32_t length = Le32(attribute + 4);
  if (length == 0) return WalkStep::End;
  const bool nonResident = attribute[8] != 0;
  const uint32_t minimum = nonResident ? kMinNonResidentAttribute : kMinResidentAttribute;
  if (length < minimum || length > areaEnd_ - position_) return WalkStep::Corrupt;

  *out = Attribute();
  out->type = type;
  out->length = length;
  out->nonResident = nonResident;
  out->nameLength = attribute[9];
  out->bytes = attribute;
  if (nonResident) {
    out->startVcn = Le64(attribute + 0x10);
    out->realSize = Le64(attribute + 0x30);
  } else if (!ReadResidentValue(attribute, length, out)) {
    return WalkStep::Corrupt;
  }
  position_ += length;
  finished_ = false;
  return WalkStep::Attribute;
}

bool ParseFileName(const Attribute& attribute, FileNameInfo* out) {
  if (attribute.nonResident || attribute.valueLength < kFileNameFixedBytes) return false;
  const uint8_t* value = attribute.value;
  const uint32_t nameChars = value[0x40];
  if (kFileNameFixedBytes + 2 * nameChars > attribute.valueLength) return false;
  out->parent = Le32(value);
  out->created = Le64(value + 0x08);
  out->modified = Le64(value + 0x10);
  out->accessed = Le64(value + 0x20);
  out->realSize = Le64(value + 0x30);
  out->nameSpace = value[0x41];
  out->name.resize(nameChars);
  for (uint32_t i = 0; i < nameChars; ++i) out->name[i] = Le16(value + kFileNameFixedBytes + 2 * i);
  return true;
}

std::vector<AttributeListEntry> ParseAttributeList(const uint8_t* data, uint32_t size) {
  std::vector<AttributeListEntry> entries;
  uint32_t position = 0;
  while (size - position >= kListEntryMinBytes) {
    const uint8_t* entry = data + position;
    const uint32_t type = Le32(entry);
    const uint32_t length = Le16(entry + 4);
    if (type == kAttrEnd || type == 0 || length < kListEntryMinBytes || length > size - position) {
      break;
    }
    AttributeListEntry parsed;
    parsed.type = type;
    parsed.nameLength = entry[6];
    parsed.startVcn = Le64(entry + 8);
    parsed.recordNumber = Le32(entry + 0x10);
    entries.push_back(parsed);
    position += length;
  }
  return entries;
}

}  // namespace ntfs
