#include "engines/fat/fat_dir_entry.h"

#include <cstring>

#include "engines/fat/fat_bytes.h"
#include "platform/platform.h"

namespace {

// Live files need times inside this range to be taken for real entries.
uint64_t PlausibleTimeBound(uint16_t year) {
  platform::LocalTime t;
  t.year = year;
  t.month = 1;
  t.day = 1;
  uint64_t value = 0;
  platform::SystemTimeToFileTime(t, &value);
  return value;
}

bool IsPlausibleTime(uint64_t fileTime) {
  static const uint64_t kEarliest = PlausibleTimeBound(1990);
  static const uint64_t kLatest = PlausibleTimeBound(2050);
  return fileTime != 0 && fileTime >= kEarliest && fileTime <= kLatest;
}

char LowerAscii(uint8_t c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : char(c); }

// Bytes [from, from + count) of the short name without trailing spaces,
// lower-cased.
std::string ShortNamePart(const uint8_t* e, size_t from, size_t count) {
  size_t end = from + count;
  while (end > from && e[end - 1] == ' ') --end;
  std::string part;
  for (size_t i = from; i < end; ++i) part += LowerAscii(e[i]);
  return part;
}

std::string MarkDeleted(std::string name, const uint8_t* e) {
  if (IsDeletedEntry(e) && !name.empty()) name[0] = '!';
  return name;
}

}  // namespace

uint32_t EntrySize(const uint8_t* e) { return ReadLe32(e + 0x1C); }
uint16_t EntryClusterHigh(const uint8_t* e) { return ReadLe16(e + 0x14); }
uint16_t EntryClusterLow(const uint8_t* e) { return ReadLe16(e + 0x1A); }

bool IsDotEntry(const uint8_t* e) {
  return (EntryAttributes(e) & kAttrFolder) && std::memcmp(e, ".          ", 11) == 0;
}

bool IsDotDotEntry(const uint8_t* e) {
  return (EntryAttributes(e) & kAttrFolder) && std::memcmp(e, "..         ", 11) == 0;
}

bool IsDotEntryPair(const uint8_t* e, const uint8_t* next) {
  return next != nullptr && e[0] == '.' && (EntryAttributes(e) & kAttrFolder) &&
         EntrySize(e) == 0 && next[0] == '.' && next[1] == '.' &&
         (EntryAttributes(next) & kAttrFolder) && EntrySize(next) == 0;
}

bool HasInvalidShortNameChars(const uint8_t* e) {
  static const char kInvalid[] = "\"*./:<>?\\|";
  for (size_t i = 0; i < 11; ++i) {
    const uint8_t c = e[i];
    if (i == 0 && c == kDeletedMark) continue;
    if (c >= 0x80) continue;
    if (c < 0x20 || (c >= 'a' && c <= 'z') || std::strchr(kInvalid, c) != nullptr) return true;
  }
  return false;
}

bool IsPlausibleDirEntry(const uint8_t* e, const uint8_t* next) {
  if (IsDotEntryPair(e, next)) return true;
  const uint8_t attr = EntryAttributes(e);
  const bool folder = (attr & kAttrFolder) != 0;
  const bool longName = attr == kAttrLongName;
  const bool deleted = IsDeletedEntry(e);
  const bool noClusters = EntryClusterHigh(e) == 0 && EntryClusterLow(e) == 0;
  if (!folder && EntrySize(e) == 0 && !noClusters) return false;
  if (attr == kAttrVolumeLabel && (EntrySize(e) != 0 || !noClusters)) return false;
  if ((attr & kAttrVolumeLabel) && attr != kAttrVolumeLabel && !longName) return false;
  if ((folder && (attr & kAttrReadOnly)) || attr > 0x3F) return false;
  if (longName && !deleted && (e[0] & ~0x40) > 18) return false;
  if (!deleted && !folder && !longName) {
    const EntryTimes times = DecodeEntryTimes(e);
    if (!IsPlausibleTime(times.created) || !IsPlausibleTime(times.accessed) ||
        !IsPlausibleTime(times.modified)) {
      return false;
    }
  }
  if (attr != kAttrVolumeLabel && !longName && HasInvalidShortNameChars(e)) return false;
  if (folder && !deleted && EntrySize(e) != 0) return false;
  if (longName && EntryClusterLow(e) != 0) return false;
  return attr == kAttrVolumeLabel || longName || folder || (attr & kAttrArchive);
}

bool DecodeFatDateTime(uint16_t date, uint16_t time, uint8_t hundredths, uint64_t* fileTime) {
  platform::LocalTime t;
  t.day = date & 0x1F;
  t.month = (date >> 5) & 0x0F;
  t.year = static_cast<uint16_t>((date >> 9) + 1980);
  t.hour = time >> 11;
  t.minute = (time >> 5) & 0x3F;
  t.second = static_cast<uint16_t>((time & 0x1F) * 2 + hundredths / 100);
  t.milliseconds = static_cast<uint16_t>((hundredths % 100) * 10);
  return platform::SystemTimeToFileTime(t, fileTime);
}

EntryTimes DecodeEntryTimes(const uint8_t* e) {
  EntryTimes times;
  if (!DecodeFatDateTime(ReadLe16(e + 0x10), ReadLe16(e + 0x0E), e[0x0D], &times.created)) {
    times.created = 0;
  }
  if (!DecodeFatDateTime(ReadLe16(e + 0x12), 0, 0, &times.accessed)) times.accessed = 0;
  if (!DecodeFatDateTime(ReadLe16(e + 0x18), ReadLe16(e + 0x16), 0, &times.modified)) {
    times.modified = 0;
  }
  return times;
}

std::string ShortFileName(const uint8_t* e) {
  std::string name = ShortNamePart(e, 0, 8);
  if (e[8] != ' ') name += "." + ShortNamePart(e, 8, 3);
  return MarkDeleted(name, e);
}

std::string ShortFolderName(const uint8_t* e) { return MarkDeleted(ShortNamePart(e, 0, 8), e); }

bool LongNameBuffer::Prepend(const uint8_t* e) {
  static const size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  if (text_.size() + 13 > kMaxChars) return false;
  std::u16string part(13, u'\0');
  for (size_t i = 0; i < 13; ++i) part[i] = static_cast<char16_t>(ReadLe16(e + kOffsets[i]));
  text_.insert(0, part);
  return true;
}

std::u16string LongNameBuffer::Name() const {
  std::u16string name;
  for (char16_t c : text_) {
    if (c == 0) break;
    if (c != 0xFFFF) name += c;
  }
  return name;
}
