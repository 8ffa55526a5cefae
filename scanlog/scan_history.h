// The application-data folder and the history of deep scans.
//
//   <base>/Varnelle/Used              empty marker file
//   <base>/Varnelle/ScanLog           historyRoot
//   <historyRoot>/config              8-byte counter + 1,120-byte entries
//   <historyRoot>/config.tmp          the history while it is replaced
//   <historyRoot>/<N>/                scan folder N (scan logs)
//
// On Windows the separator is "\", on Linux "/"; folders handed out end with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

constexpr size_t kHistoryPathChars = 260;
// The disk number of an image file's entry.
constexpr int32_t kImageDiskNumber = 128;

// One deep scan of one volume or image, stored as 1,120 packed bytes.
#pragma pack(push, 1)
struct ScanHistoryEntry {
  int32_t diskNumber;                      // 128 for an image
  uint32_t alignment;                      // undefined, never read
  uint64_t firstSector;                    // first sector of the volume on its disk
  uint64_t sectorCount;                    // volume length in sectors
  uint64_t extentStart;                    // extent being scanned (sectors from the volume start)
  uint64_t extentLength;                   // its length; 0 once the scan is complete
  uint64_t extentOffset;                   // sectors of that extent already scanned
  uint64_t sectorsDone;                    // sectors scanned in all
  uint64_t filesFound;                     // files found so far
  uint64_t freeBytes;                      // the volume's free bytes when made; 0 for an image
  uint64_t imageWriteTime;                 // FILETIME of the image's last write; 0 for a disk
  char16_t imagePath[kHistoryPathChars];   // NUL-terminated; empty for a disk
  char16_t scanFolder[kHistoryPathChars];  // NUL-terminated, ends with the separator
};
#pragma pack(pop)
static_assert(sizeof(ScanHistoryEntry) == 1120, "ScanHistoryEntry is stored as 1,120 bytes");
static_assert(offsetof(ScanHistoryEntry, firstSector) == 8);
static_assert(offsetof(ScanHistoryEntry, freeBytes) == 64);
static_assert(offsetof(ScanHistoryEntry, imageWriteTime) == 72);
static_assert(offsetof(ScanHistoryEntry, imagePath) == 80);
static_assert(offsetof(ScanHistoryEntry, scanFolder) == 600);

class CScanHistory {
 public:
  // An empty history (no entries, counter 0, nothing remembered) rooted in
  // the current application-data base.
  CScanHistory();

  // Reads "config" (completing an interrupted save that left only
  // "config.tmp"); keeps only whole entries.
  void LoadHistory();
  // Writes "config.tmp" whole, flushes it and puts it in place of "config" in
  // one step. 0 or the system error; "config" is never lost.
  WinError SaveHistory();

  // 1 when a usable entry for the volume exists (copied to *out), else 0. An
  // entry whose volume changed since (free bytes differ) is deleted.
  int32_t FindDiskEntry(uint32_t diskNumber, uint64_t firstSector, uint64_t sectorCount,
                        uint16_t volumeTag, ScanHistoryEntry* out);
  // The same for an image file, by exact path and last-write time.
  int32_t FindImageEntry(const std::u16string& imagePath, ScanHistoryEntry* out);

  // The folder in which scan logs are made now; ends with the separator.
  std::u16string GetScanFolder() const;
  // The same into a buffer of `capacity` code units (cut, always terminated).
  void GetScanFolder(char16_t* out, size_t capacity) const;
  // Takes the next folder number for a new deep scan (emptying that folder).
  void NewScanFolder();
  // Gives the last folder number back (in memory only).
  void ReleaseScanFolder();

  // Stores how far a deep scan got and saves the history.
  WinError RecordDeepScan(uint16_t volumeTag, int32_t diskNumber, uint64_t firstSector,
                          uint64_t sectorCount, uint64_t extentStart, uint64_t extentLength,
                          uint64_t extentOffset, uint64_t sectorsDone, uint64_t filesFound,
                          const std::u16string& scanFolder, const std::u16string& imagePath);

  // Drops the entry of that scan folder (letter case ignored) and deletes the
  // folder, but only when it is a numbered scan folder of historyRoot.
  WinError DeleteHistoryEntry(const std::u16string& folder);

  // The first main log file in `folder` whose name contains `prefix`
  // (companion files never count). 0 when the folder could be listed; *outName
  // is left untouched when nothing matches.
  WinError FindLogFile(const std::u16string& prefix, std::u16string* outName,
                       const std::u16string& folder) const;

  // Creates <base>/Varnelle/Used when it is missing; failures are ignored.
  static void EnsureUsedMarker();

  const std::vector<ScanHistoryEntry>& Entries() const { return entries_; }
  uint64_t ScanCounter() const { return scanCounter_; }
  const std::u16string& HistoryRoot() const { return historyRoot_; }
  bool FolderRemembered() const { return folderRemembered_; }

 private:
  std::u16string ConfigPath() const;
  std::u16string NumberedFolder(uint64_t number) const;
  bool IsNumberedScanFolder(const std::u16string& folder) const;
  std::vector<ScanHistoryEntry>::iterator FindDisk(uint32_t diskNumber, uint64_t firstSector,
                                                   uint64_t sectorCount);
  std::vector<ScanHistoryEntry>::iterator FindImage(const std::u16string& imagePath);
  void Remember(const ScanHistoryEntry* entry);
  // Copies out and remembers an unchanged entry (1); drops a changed one
  // with its folder, forgets the folder (0).
  int32_t AnswerLookup(std::vector<ScanHistoryEntry>::iterator found, bool unchanged,
                       ScanHistoryEntry* out);

  std::vector<ScanHistoryEntry> entries_;
  std::u16string historyRoot_;
  uint64_t scanCounter_ = 0;
  bool folderRemembered_ = false;
  std::u16string rememberedFolder_;
};

// The one history of the process, loaded on first use.
CScanHistory& GetScanHistory();
// Replaces the process's history by a fresh load from the current
// application-data base (tests switch VARNELLE_DATA_DIR between cases).
void ReloadScanHistory();
