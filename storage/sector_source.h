// Raw access to a physical disk or an image file, sector by sector, and the
// copy of a disk range into an image file. Synchronous, uncached, one handle
// per open source.
#pragma once

#include <cstdint>
#include <string>

#include "platform/calling_convention.h"
#include "platform/platform.h"

// One open source. The sector size is not part of it: every read names the
// sector size it uses; an image counts its sectors in 512-byte units.
struct SectorSource {
  platform::FileHandle handle = platform::kInvalidHandle;
  uint64_t totalSectors = 0;
};

// Closes the source's handle (if open) and resets it.
void CloseSource(SectorSource& source);

// Opens physical disk N read/write, shared; totalSectors from the length
// query, or from the geometry when that gives nothing.
WinError OpenDiskSource(SectorSource& source, uint32_t diskNumber);
// Opens an image file read/write, shared; totalSectors = size / 512.
WinError OpenImageSource(SectorSource& source, const std::u16string& path);

// Reads `count` sectors of `sectorSize` bytes from `start`. 87 without any I/O
// when the range passes totalSectors; 30 when a read fails or delivers
// nothing, with *sectorsRead telling how many whole sectors did arrive.
WinError ReadSectors(const SectorSource& source, void* buffer, uint64_t start, uint32_t count,
                     uint32_t sectorSize, uint32_t* sectorsRead);

// Flushes the cached writes of the volume with this drive letter; failures
// are ignored (a partition without letter does nothing).
void FlushVolume(char16_t driveLetter);

// Reads / writes from the handle's current position in pieces of at most
// 64 KiB. A failed or empty read ends the read with 30; a failed or empty
// write ends the write with the system error.
WinError ReadWholeSectors(platform::FileHandle handle, void* buffer, uint32_t sectorCount,
                          uint32_t sectorSize, uint32_t* sectorsRead);
WinError ReadFully(platform::FileHandle handle, void* buffer, uint32_t byteCount,
                   uint32_t* bytesRead);
WinError WriteWholeSectors(platform::FileHandle handle, const void* buffer, uint32_t sectorCount,
                           uint32_t sectorSize, uint32_t* sectorsWritten);

// Progress of a disk copy; a non-zero answer stops the copy and becomes its
// result (-9527 to cancel). secondsLeft is -1 until the first estimate.
using DiskCopyProgress = int32_t(VARNELLE_CALLBACK*)(void* userData, int32_t percent, uint64_t sectorsDone,
                                     uint64_t sectorsTotal, int32_t secondsLeft);

// State of one copy of a disk range into a file; single use.
struct DiskCopyTask {
  uint32_t sectorSize = 512;
  uint64_t startSector = 0;
  uint64_t sectorCount = 0;  // 0 = the whole disk
  platform::FileHandle diskHandle = platform::kInvalidHandle;
  platform::FileHandle fileHandle = platform::kInvalidHandle;
  DiskCopyProgress progress = nullptr;
  void* userData = nullptr;
};

// Copies `sectorCount` sectors (0 = whole disk) of disk N from `startSector`
// into `destination`. The finished file holds exactly the sectors copied.
WinError CopyDiskToFile(DiskCopyTask& task, uint32_t diskNumber, uint64_t startSector,
                        uint64_t sectorCount, const std::u16string& destination,
                        DiskCopyProgress progress, void* userData);

// The copy loop of CopyDiskToFile, on a source that is already open:
// task.diskHandle (any file or device), task.sectorSize and task.sectorCount
// (already resolved, not 0 = whole disk) must be set. Seeks the source to
// task.startSector, creates or truncates `destination`, copies, and closes
// both handles on every exit. `clock` stands in for the tick count (tests).
using TickSource = uint32_t (*)();
WinError CopySectorsToFile(DiskCopyTask& task, const std::u16string& destination,
                           TickSource clock = platform::TickCount);

// Device queries for the user interface; each opens what it needs and
// releases it again.
WinError GetFileLength(const std::u16string& path, uint64_t* bytes);
bool IsRemovableDisk(uint32_t diskNumber);
WinError GetDiskLength(uint64_t* bytes, uint32_t diskNumber);
WinError GetVolumeFreeBytes(uint64_t* bytes, char16_t driveLetter);
WinError GetVolumeFileSystem(std::u16string* name, char16_t driveLetter);
