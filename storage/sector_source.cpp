// Raw sector access to disks and image files, and the copy of a disk range
// into an image file. Every transfer moves at most 64 KiB per system call,
// straight into (or out of) the caller's buffer.
#include "storage/sector_source.h"

#include <algorithm>
#include <climits>
#include <vector>

using platform::DiskGeometry;
using platform::FileHandle;
using platform::kInvalidHandle;

namespace {

constexpr uint32_t kMaxTransfer = 65536;
constexpr uint32_t kImageSectorSize = 512;
constexpr uint32_t kDefaultSectorSize = 512;
constexpr uint32_t kEstimateIntervalMs = 5000;

// Closes a handle when it goes out of scope.
class ScopedHandle {
 public:
  ScopedHandle() = default;
  ~ScopedHandle() { platform::CloseFile(handle_); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  FileHandle* Out() { return &handle_; }
  FileHandle Get() const { return handle_; }

 private:
  FileHandle handle_ = kInvalidHandle;
};

void CloseAndReset(FileHandle& handle) {
  platform::CloseFile(handle);
  handle = kInvalidHandle;
}

// Closes both handles of a copy task on every exit of the copy.
class TaskHandlesCloser {
 public:
  explicit TaskHandlesCloser(DiskCopyTask& task) : task_(task) {}
  ~TaskHandlesCloser() {
    CloseAndReset(task_.diskHandle);
    CloseAndReset(task_.fileHandle);
  }
  TaskHandlesCloser(const TaskHandlesCloser&) = delete;
  TaskHandlesCloser& operator=(const TaskHandlesCloser&) = delete;

 private:
  DiskCopyTask& task_;
};

uint32_t PieceSize(uint64_t remaining) {
  return static_cast<uint32_t>(std::min<uint64_t>(remaining, kMaxTransfer));
}

// Reads `bytes` from the current position; a failed or empty read ends it
// with 30. *done counts the bytes that arrived.
WinError ReadPieces(FileHandle handle, uint8_t* buffer, uint64_t bytes, uint64_t* done) {
  *done = 0;
  while (*done < bytes) {
    uint32_t got = 0;
    const WinError error = platform::ReadSome(handle, buffer + *done, PieceSize(bytes - *done), &got);
    if (error != kErrorSuccess || got == 0) return kErrorReadFault;
    *done += got;
  }
  return kErrorSuccess;
}

// Writes `bytes` at the current position, again after a partial write; a
// failed write ends it with the system error, an empty one with 29 (there is
// no system error to report, and the data did not reach the file).
WinError WritePieces(FileHandle handle, const uint8_t* buffer, uint64_t bytes, uint64_t* done) {
  *done = 0;
  while (*done < bytes) {
    uint32_t put = 0;
    const WinError error =
        platform::WriteSome(handle, buffer + *done, PieceSize(bytes - *done), &put);
    if (error != kErrorSuccess) return error;
    if (put == 0) return kErrorWriteFault;
    *done += put;
  }
  return kErrorSuccess;
}

// A geometry that reports 0 bytes per sector is taken as 512.
uint32_t SectorSizeOf(const DiskGeometry& geometry) {
  return geometry.bytesPerSector != 0 ? geometry.bytesPerSector : kDefaultSectorSize;
}

uint64_t GeometrySectors(const DiskGeometry& geometry) {
  if (geometry.cylinders <= 0) return 0;
  return static_cast<uint64_t>(geometry.cylinders) * geometry.tracksPerCylinder *
         geometry.sectorsPerTrack;
}

// The disk's sectors from the length query, or from the geometry when the
// query fails or answers 0.
uint64_t DiskSectorCount(FileHandle disk, const DiskGeometry& geometry) {
  uint64_t bytes = 0;
  if (platform::GetDiskLengthInfo(disk, &bytes) == kErrorSuccess) {
    const uint64_t sectors = bytes / SectorSizeOf(geometry);
    if (sectors != 0) return sectors;
  }
  return GeometrySectors(geometry);
}

// Opens disk N read/write and asks its geometry. On a geometry failure the
// handle stays in *disk for its owner to close.
WinError OpenDiskWithGeometry(uint32_t diskNumber, FileHandle* disk, DiskGeometry* geometry) {
  const WinError error =
      platform::OpenPhysicalDisk(diskNumber, platform::Access::ReadWrite, disk);
  if (error != kErrorSuccess) return error;
  return platform::GetDiskGeometry(*disk, geometry);
}

int32_t Percent(uint64_t done, uint64_t total) {
  if (done <= UINT64_MAX / 100) return static_cast<int32_t>(done * 100 / total);
  return static_cast<int32_t>(done / (total / 100));
}

// The remaining-time estimate of a copy, renewed every 5 seconds from the
// average rate since the start; -1 until the first estimate.
class TimeLeftEstimate {
 public:
  explicit TimeLeftEstimate(TickSource clock)
      : clock_(clock), start_(clock()), lastEstimate_(start_) {}

  int32_t Update(uint64_t bytesDone, uint64_t bytesTotal) {
    const uint32_t now = clock_();
    if (static_cast<uint32_t>(now - lastEstimate_) >= kEstimateIntervalMs) {
      const uint64_t seconds = static_cast<uint32_t>(now - start_) / 1000u;
      uint64_t rate = bytesDone / seconds;
      if (rate == 0) rate = 1;
      const uint64_t left = (bytesTotal - bytesDone) / rate;
      secondsLeft_ = static_cast<int32_t>(std::min<uint64_t>(left, INT32_MAX));
      lastEstimate_ = now;
    }
    return secondsLeft_;
  }

 private:
  TickSource clock_;
  uint32_t start_;
  uint32_t lastEstimate_;
  int32_t secondsLeft_ = -1;
};

// The chunk loop of a copy whose handles are open and whose source is
// positioned at its first sector.
WinError CopyChunks(const DiskCopyTask& task, TimeLeftEstimate& estimate) {
  const uint32_t sectorSize = task.sectorSize;
  const uint32_t chunkSectors = std::max<uint32_t>(1, kMaxTransfer / sectorSize);
  std::vector<uint8_t> buffer(static_cast<size_t>(chunkSectors) * sectorSize);
  const uint64_t bytesTotal = task.sectorCount * sectorSize;
  uint64_t sectorsDone = 0;
  while (sectorsDone < task.sectorCount) {
    const auto want =
        static_cast<uint32_t>(std::min<uint64_t>(chunkSectors, task.sectorCount - sectorsDone));
    uint32_t got = 0;
    WinError error = ReadWholeSectors(task.diskHandle, buffer.data(), want, sectorSize, &got);
    if (error != kErrorSuccess) return error;
    if (got == 0) return kErrorReadFault;
    uint32_t put = 0;
    error = WriteWholeSectors(task.fileHandle, buffer.data(), got, sectorSize, &put);
    if (error != kErrorSuccess) return error;
    sectorsDone += got;
    const int32_t secondsLeft = estimate.Update(sectorsDone * sectorSize, bytesTotal);
    if (task.progress != nullptr) {
      const int32_t answer = task.progress(task.userData, Percent(sectorsDone, task.sectorCount),
                                           sectorsDone, task.sectorCount, secondsLeft);
      if (answer != 0) return answer;
    }
  }
  return kErrorSuccess;
}

}  // namespace

void CloseSource(SectorSource& source) {
  CloseAndReset(source.handle);
  source.totalSectors = 0;
}

WinError OpenDiskSource(SectorSource& source, uint32_t diskNumber) {
  source.totalSectors = 0;
  DiskGeometry geometry;
  const WinError error = OpenDiskWithGeometry(diskNumber, &source.handle, &geometry);
  if (error != kErrorSuccess) return error;
  source.totalSectors = DiskSectorCount(source.handle, geometry);
  return kErrorSuccess;
}

WinError OpenImageSource(SectorSource& source, const std::u16string& path) {
  source.totalSectors = 0;
  WinError error = platform::OpenFile(path, platform::Access::ReadWrite,
                                      platform::Disposition::OpenExisting, &source.handle);
  if (error != kErrorSuccess) return error;
  uint64_t bytes = 0;
  error = platform::GetFileSize(source.handle, &bytes);
  if (error != kErrorSuccess) return error;
  source.totalSectors = bytes / kImageSectorSize;
  return kErrorSuccess;
}

WinError ReadSectors(const SectorSource& source, void* buffer, uint64_t start, uint32_t count,
                     uint32_t sectorSize, uint32_t* sectorsRead) {
  *sectorsRead = 0;
  // Compared without forming start + count, which could wrap.
  if (sectorSize == 0 || count > source.totalSectors || start > source.totalSectors - count ||
      start > UINT64_MAX / sectorSize) {
    return kErrorInvalidParameter;
  }
  const WinError error = platform::Seek(source.handle, start * sectorSize);
  if (error != kErrorSuccess) return error;
  return ReadWholeSectors(source.handle, buffer, count, sectorSize, sectorsRead);
}

void FlushVolume(char16_t driveLetter) {
  if (driveLetter == 0) return;  // a partition without a letter
  (void)platform::FlushVolumeByLetter(driveLetter);
}

WinError ReadWholeSectors(FileHandle handle, void* buffer, uint32_t sectorCount,
                          uint32_t sectorSize, uint32_t* sectorsRead) {
  *sectorsRead = 0;
  if (sectorSize == 0) return kErrorInvalidParameter;
  uint64_t done = 0;
  const WinError error = ReadPieces(handle, static_cast<uint8_t*>(buffer),
                                    uint64_t{sectorCount} * sectorSize, &done);
  *sectorsRead = static_cast<uint32_t>(done / sectorSize);
  return error;
}

WinError ReadFully(FileHandle handle, void* buffer, uint32_t byteCount, uint32_t* bytesRead) {
  uint64_t done = 0;
  const WinError error = ReadPieces(handle, static_cast<uint8_t*>(buffer), byteCount, &done);
  *bytesRead = static_cast<uint32_t>(done);
  return error;
}

WinError WriteWholeSectors(FileHandle handle, const void* buffer, uint32_t sectorCount,
                           uint32_t sectorSize, uint32_t* sectorsWritten) {
  *sectorsWritten = 0;
  if (sectorSize == 0) return kErrorInvalidParameter;
  uint64_t done = 0;
  const WinError error = WritePieces(handle, static_cast<const uint8_t*>(buffer),
                                     uint64_t{sectorCount} * sectorSize, &done);
  *sectorsWritten = static_cast<uint32_t>(done / sectorSize);
  return error;
}

WinError CopySectorsToFile(DiskCopyTask& task, const std::u16string& destination,
                           TickSource clock) {
  TaskHandlesCloser closer(task);
  TimeLeftEstimate estimate(clock);
  const uint32_t sectorSize = task.sectorSize;
  if (sectorSize == 0 || task.sectorCount > UINT64_MAX / sectorSize ||
      task.startSector > UINT64_MAX / sectorSize) {
    return kErrorInvalidParameter;
  }
  WinError error = platform::Seek(task.diskHandle, task.startSector * sectorSize);
  if (error != kErrorSuccess) return error;
  // Truncated on open: an image written over a larger old file must not keep
  // the old file's tail. A failed or cancelled copy leaves what was written.
  error = platform::OpenFile(destination, platform::Access::ReadWrite,
                             platform::Disposition::CreateAlways, &task.fileHandle);
  if (error != kErrorSuccess) return error;
  return CopyChunks(task, estimate);
}

WinError CopyDiskToFile(DiskCopyTask& task, uint32_t diskNumber, uint64_t startSector,
                        uint64_t sectorCount, const std::u16string& destination,
                        DiskCopyProgress progress, void* userData) {
  task.startSector = startSector;
  task.sectorCount = sectorCount;
  task.progress = progress;
  task.userData = userData;
  DiskGeometry geometry;
  WinError error = OpenDiskWithGeometry(diskNumber, &task.diskHandle, &geometry);
  if (error == kErrorSuccess) {
    task.sectorSize = SectorSizeOf(geometry);
    if (task.sectorCount == 0) task.sectorCount = DiskSectorCount(task.diskHandle, geometry);
    // A whole disk that reports no size at all is not ready; an empty image
    // of it would pass for a finished copy.
    if (task.sectorCount == 0) error = kErrorNotReady;
  }
  if (error != kErrorSuccess) {
    CloseAndReset(task.diskHandle);
    return error;
  }
  return CopySectorsToFile(task, destination);
}

WinError GetFileLength(const std::u16string& path, uint64_t* bytes) {
  ScopedHandle file;
  const WinError error = platform::OpenFile(path, platform::Access::ReadWrite,
                                            platform::Disposition::OpenExisting, file.Out());
  if (error != kErrorSuccess) return error;
  return platform::GetFileSize(file.Get(), bytes);
}

bool IsRemovableDisk(uint32_t diskNumber) {
  ScopedHandle disk;
  DiskGeometry geometry;
  return OpenDiskWithGeometry(diskNumber, disk.Out(), &geometry) == kErrorSuccess &&
         geometry.mediaType == platform::kMediaRemovable;
}

WinError GetDiskLength(uint64_t* bytes, uint32_t diskNumber) {
  ScopedHandle disk;
  const WinError error =
      platform::OpenPhysicalDisk(diskNumber, platform::Access::ReadWrite, disk.Out());
  if (error != kErrorSuccess) return error;
  return platform::GetDiskLengthInfo(disk.Get(), bytes);
}

WinError GetVolumeFreeBytes(uint64_t* bytes, char16_t driveLetter) {
  return platform::GetVolumeFreeBytes(driveLetter, bytes);
}

WinError GetVolumeFileSystem(std::u16string* name, char16_t driveLetter) {
  return platform::GetVolumeFileSystem(driveLetter, name);
}
