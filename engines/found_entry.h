// The record of one found file or folder. Engines make it, the scan log
// stores it byte for byte, views, search and recovery read it back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win32_errors.h"

// Which engine produced an entry; the composite engine dispatches by it.
enum EngineKind : uint32_t {
  kEngineNtfsQuick = 0,
  kEngineFatQuick = 1,
  kEngineNtfsDeep = 2,
  kEngineFatDeep = 3,
  kEngineCarving = 4,
};

constexpr size_t kFoundEntryNameBytes = 260;

#pragma pack(push, 1)
struct FoundEntry {
  uint16_t volumeTag;      // drive letter, or the target's number
  uint32_t engineKind;     // EngineKind
  uint32_t isFolder;       // 1 folder, 0 file
  uint32_t isDeleted;      // FAT quick folders: own entry deleted / inside a deleted folder
  uint32_t dataIntact;     // 1 when the data is believed usable
  uint32_t seq;            // 1-based record number, set by the scan log
  uint32_t id;             // FAT first cluster, NTFS record number, 0 carved
  int32_t clusterBytes;    // bytes per cluster; -1 carved files and lost folders
  uint64_t created;        // FILETIME
  uint64_t accessed;       // FILETIME
  uint64_t modified;       // FILETIME
  uint64_t size;           // bytes (0 for folders)
  uint64_t dataAreaStart;  // FAT: first data sector from the volume start
  uint64_t entrySector;    // sector of the directory entry / MFT record / carved data
  uint64_t volumeStart;    // absolute first sector of the volume
  char name[kFoundEntryNameBytes];  // ANSI code page, NUL-terminated
};
#pragma pack(pop)

static_assert(sizeof(FoundEntry) == 346, "FoundEntry is stored as 346 packed bytes");
static_assert(offsetof(FoundEntry, engineKind) == 2);
static_assert(offsetof(FoundEntry, isFolder) == 6);
static_assert(offsetof(FoundEntry, isDeleted) == 10);
static_assert(offsetof(FoundEntry, dataIntact) == 14);
static_assert(offsetof(FoundEntry, seq) == 18);
static_assert(offsetof(FoundEntry, id) == 22);
static_assert(offsetof(FoundEntry, clusterBytes) == 26);
static_assert(offsetof(FoundEntry, created) == 30);
static_assert(offsetof(FoundEntry, accessed) == 38);
static_assert(offsetof(FoundEntry, modified) == 46);
static_assert(offsetof(FoundEntry, size) == 54);
static_assert(offsetof(FoundEntry, dataAreaStart) == 62);
static_assert(offsetof(FoundEntry, entrySector) == 70);
static_assert(offsetof(FoundEntry, volumeStart) == 78);
static_assert(offsetof(FoundEntry, name) == 86);

// A zero-filled entry.
FoundEntry MakeEmptyEntry();

// Stores a UTF-16 name into entry.name in the ANSI code page: at most 259
// bytes, cut at a character boundary, always NUL-terminated.
void SetEntryName(FoundEntry& entry, const std::u16string& name);
// Stores 8-bit text the same way (cut at a character boundary, NUL-terminated).
void SetEntryNameAnsi(FoundEntry& entry, const std::string& name);
// Forces the terminating NUL of a record read back from a log, so that no
// string use can run off the record.
inline void TerminateEntryName(FoundEntry& entry) { entry.name[kFoundEntryNameBytes - 1] = 0; }

// The folder key of the scan log: parent id in the low 32 bits, the parent's
// level below the root in the high 32 bits.
using FolderKey = uint64_t;
inline FolderKey MakeFolderKey(uint32_t id, uint32_t level) {
  return (static_cast<uint64_t>(level) << 32) | id;
}
