// The interface of every scan engine, its callback types and the value that
// means "cancelled by the user".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engines/found_entry.h"
#include "platform/calling_convention.h"
#include "platform/win32_errors.h"
#include "scanlog/search_hit.h"


// Scan progress: displayed percent = progress x weight / 100; secondsLeft < 0
// means no estimate; totalSectors 0 means no sector counts. Non-zero stops.
using ScanProgressFn = int32_t(VARNELLE_CALLBACK*)(void* userData, int32_t progress,
                                                   int32_t weight, int32_t secondsLeft,
                                                   uint64_t currentSector, uint64_t totalSectors,
                                                   uint64_t filesFound, int32_t reserved);
// The copy of one file during Restore; progress x weight / 100 reaching 100
// means the file is finished and errorCode is its outcome.
using FileProgressFn = int32_t(VARNELLE_CALLBACK*)(void* userData, int32_t progress,
                                                   int32_t weight, int32_t errorCode,
                                                   const char16_t* path);
using PreviewProgressFn = int32_t(VARNELLE_CALLBACK*)(void* userData, int32_t percent,
                                                      int32_t errorCode);
using SearchProgressFn = int32_t(VARNELLE_CALLBACK*)(void* userData, int32_t percent,
                                                     int32_t reserved);

// Every engine derives directly and only from this interface; the order of
// the operations is part of the contract.
struct IFileRecoveryParse {
  // 1. Opens an image file as the source; `tag` becomes every entry's volumeTag.
  virtual WinError OpenImage(const char16_t* path, uint16_t tag) = 0;
  // 2. Opens physical disk `disk` and remembers the volume's place on it.
  virtual WinError OpenDisk(uint32_t disk, uint64_t firstSector, uint64_t sectorCount,
                            uint16_t tag) = 0;
  // 3. Callbacks for the next Scan, Restore and ExtractForPreview.
  virtual WinError SetCallbacks(ScanProgressFn scanProgress, FileProgressFn fileProgress,
                                void* userData, int32_t weight) = 0;
  // 4. With a log name, reopens that scan log; with null, scans into a new one.
  virtual WinError Scan(const char16_t* logName) = 0;
  // 5. The children of `folder` (null with level 0 = root), sorted.
  virtual WinError ListFolder(const FoundEntry* folder, uint32_t level,
                              std::vector<FoundEntry>* out) = 0;
  // 6. The number of files in the whole subtree of `folder`.
  virtual WinError CountFiles(const FoundEntry* folder, uint32_t level, uint32_t* count) = 0;
  // 7. The number of records in the engine's scan log(s).
  virtual uint64_t GetEntryCount() = 0;
  // 8. The entry's folder path inside the volume, each name followed by '\'.
  virtual WinError GetEntryPath(const FoundEntry* entry, char16_t* out, uint32_t capacity) = 0;
  // 9. Copies a found file or folder out below `destination`.
  virtual WinError Restore(const FoundEntry* entry, const char16_t* destination,
                           uint32_t level) = 0;
  // 10. Moves *sector to the next free run at or after it; 1 when the engine
  //     keeps an allocation map, 0 (outputs untouched) otherwise.
  virtual int32_t NextFreeExtent(uint64_t* sector, uint64_t* count) = 0;
  // 11. Progress callback of Search.
  virtual WinError SetSearchCallback(SearchProgressFn progress, void* userData) = 0;
  // 12. Appends the hits for a search text; 1 when searched, 0 without a log.
  virtual int32_t Search(const char16_t* text, std::vector<SearchHit>* out) = 0;
  // 13. Builds the map of allocated clusters; 0 when loaded.
  virtual WinError LoadAllocationMap() = 0;
  // 14. Extracts a file for preview into a file (path out) or into memory.
  virtual WinError ExtractForPreview(const FoundEntry* entry, char16_t* outPath,
                                     uint8_t* memory, uint32_t* byteCount,
                                     PreviewProgressFn progress, void* userData) = 0;
  // 15.
  virtual ~IFileRecoveryParse() = default;
};
