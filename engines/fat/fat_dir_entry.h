// Decoding of 32-byte FAT directory entries: which ones are plausible, their
// names, first clusters and times, and the gathering of long names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kDirEntryBytes = 32;
constexpr uint8_t kDeletedMark = 0xE5;
constexpr uint8_t kAttrReadOnly = 0x01;
constexpr uint8_t kAttrVolumeLabel = 0x08;
constexpr uint8_t kAttrLongName = 0x0F;
constexpr uint8_t kAttrFolder = 0x10;
constexpr uint8_t kAttrArchive = 0x20;

inline uint8_t EntryAttributes(const uint8_t* e) { return e[11]; }
inline bool IsDeletedEntry(const uint8_t* e) { return e[0] == kDeletedMark; }
uint32_t EntrySize(const uint8_t* e);
uint16_t EntryClusterHigh(const uint8_t* e);
uint16_t EntryClusterLow(const uint8_t* e);

// "." and ".." names (a folder bit and the padded name).
bool IsDotEntry(const uint8_t* e);
bool IsDotDotEntry(const uint8_t* e);
// `e` is a "." folder of size 0 and `next` (null when not available) a ".."
// folder of size 0.
bool IsDotEntryPair(const uint8_t* e, const uint8_t* next);
// A control byte, a lower-case letter or one of " * . / : < > ? \ | among the
// 11 short-name bytes.
bool HasInvalidShortNameChars(const uint8_t* e);
// Whether an entry is used at all; `next` is the entry after it (or null).
bool IsPlausibleDirEntry(const uint8_t* e, const uint8_t* next);

// Local date and time as FILETIME (no time-zone conversion); 0 when the
// fields do not form a valid time.
struct EntryTimes {
  uint64_t created = 0;
  uint64_t accessed = 0;
  uint64_t modified = 0;
};
EntryTimes DecodeEntryTimes(const uint8_t* e);
// One FAT date/time pair (+ hundredths of a second); false when invalid.
bool DecodeFatDateTime(uint16_t date, uint16_t time, uint8_t hundredths, uint64_t* fileTime);

// Short names, lower-cased (A-Z only), a deleted first byte shown as "!":
// files as base[.ext], folders by their base name alone.
std::string ShortFileName(const uint8_t* e);
std::string ShortFolderName(const uint8_t* e);

// Long-name characters gathered from the entries before a short entry, which
// come last part first; holds at most 260 characters.
class LongNameBuffer {
 public:
  static constexpr size_t kMaxChars = 260;
  // Puts the entry's 13 characters in front; false when they do not fit.
  bool Prepend(const uint8_t* e);
  void Clear() { text_.clear(); }
  bool Empty() const { return text_.empty(); }
  // The name up to its terminating 0 (0xFFFF padding dropped).
  std::u16string Name() const;

 private:
  std::u16string text_;
};
