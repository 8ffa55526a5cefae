#include "engines/engine_factory.h"

#include <vector>

#include "engines/fast_ext_recovery.h"
#include "engines/fat/fat_quick_scan.h"
#include "engines/ntfs/ntfs_quick_scan.h"
#include "engines/scoped_file.h"
#include "storage/sector_source.h"

namespace {

using EngineMaker = std::unique_ptr<IFileRecoveryParse> (*)();

template <class Engine>
std::unique_ptr<IFileRecoveryParse> Make() {
  return std::make_unique<Engine>();
}

// The quick engine of each volume class (null = no engine), in VolumeClass
// order; every class gets the same deep engine. The FAT and NTFS quick
// engines and the composite deep engine are wired here as they are built.
constexpr EngineMaker kQuickEngines[] = {
    /* Ntfs */ &Make<CFastNtfsRecovery>,
    /* Fat */ &Make<CFastFatRecovery>,
    /* Ext */ &Make<CFastExtRecovery>,
    /* Unrecognised */ nullptr,
};
constexpr EngineMaker kDeepEngine = nullptr;

std::unique_ptr<IFileRecoveryParse> ChooseEngine(VolumeClass volumeClass, bool deep) {
  const EngineMaker maker = deep ? kDeepEngine : kQuickEngines[static_cast<int>(volumeClass)];
  return maker != nullptr ? maker() : nullptr;
}

// Reads the first 16 KiB of the volume at byte `offset` and classifies them.
WinError ClassifyAt(platform::FileHandle handle, uint64_t offset, VolumeClass* volumeClass) {
  std::vector<uint8_t> buffer(kClassifyBytes);
  WinError result = platform::Seek(handle, offset);
  if (result != kErrorSuccess) return result;
  uint32_t got = 0;
  result = ReadFully(handle, buffer.data(), static_cast<uint32_t>(buffer.size()), &got);
  if (result == kErrorSuccess && got != buffer.size()) result = kErrorReadFault;
  if (result != kErrorSuccess) return result;
  *volumeClass = ClassifyVolume(buffer.data(), buffer.size());
  return kErrorSuccess;
}

// Opens an image file and classifies it; the handle stays open in `file`.
WinError OpenAndClassifyImage(const std::u16string& path, ScopedFile* file,
                              SourceReport* report) {
  WinError result = platform::OpenFile(path, platform::Access::ReadWrite,
                                       platform::Disposition::OpenExisting, file->Receive());
  if (result != kErrorSuccess) return result;
  result = platform::GetFileSize(file->get(), &report->sizeBytes);
  if (result != kErrorSuccess) return result;
  report->bytesPerSector = 512;
  report->sectorCount = report->sizeBytes / 512;
  return ClassifyAt(file->get(), 0, &report->volumeClass);
}

// Opens disk N, flushes the volume, and classifies the volume at
// `firstSector`; the handle stays open in `disk`.
WinError OpenAndClassifyDisk(uint32_t diskNumber, uint64_t firstSector, uint64_t sectorCount,
                             char16_t driveLetter, ScopedFile* disk, SourceReport* report) {
  WinError result =
      platform::OpenPhysicalDisk(diskNumber, platform::Access::ReadWrite, disk->Receive());
  if (result != kErrorSuccess) return result;
  FlushVolume(driveLetter);
  platform::DiskGeometry geometry;
  report->bytesPerSector = 512;
  if (platform::GetDiskGeometry(disk->get(), &geometry) == kErrorSuccess &&
      geometry.bytesPerSector != 0) {
    report->bytesPerSector = geometry.bytesPerSector;
  }
  if (firstSector > UINT64_MAX / report->bytesPerSector) return kErrorInvalidParameter;
  uint64_t diskBytes = 0;
  if (sectorCount == 0 && platform::GetDiskLengthInfo(disk->get(), &diskBytes) == kErrorSuccess) {
    const uint64_t diskSectors = diskBytes / report->bytesPerSector;
    sectorCount = diskSectors > firstSector ? diskSectors - firstSector : 0;
  }
  report->sectorCount = sectorCount;
  report->sizeBytes = sectorCount * report->bytesPerSector;
  return ClassifyAt(disk->get(), firstSector * report->bytesPerSector, &report->volumeClass);
}

}  // namespace

std::unique_ptr<IFileRecoveryParse> CreateDiskEngine(uint32_t disk, uint64_t firstSector,
                                                     uint64_t sectorCount, char16_t driveLetter,
                                                     bool deep) {
  ScopedFile handle;
  SourceReport report;
  if (OpenAndClassifyDisk(disk, firstSector, sectorCount, driveLetter, &handle, &report) !=
      kErrorSuccess) {
    return nullptr;
  }
  std::unique_ptr<IFileRecoveryParse> engine = ChooseEngine(report.volumeClass, deep);
  if (engine != nullptr) engine->OpenDisk(disk, firstSector, sectorCount, driveLetter);
  return engine;
}

std::unique_ptr<IFileRecoveryParse> CreateImageEngine(const std::u16string& path, uint16_t tag,
                                                      bool deep) {
  ScopedFile handle;
  SourceReport report;
  if (OpenAndClassifyImage(path, &handle, &report) != kErrorSuccess) return nullptr;
  std::unique_ptr<IFileRecoveryParse> engine = ChooseEngine(report.volumeClass, deep);
  if (engine != nullptr) engine->OpenImage(path.c_str(), tag);
  return engine;
}

WinError ClassifyImage(const std::u16string& path, SourceReport* report) {
  ScopedFile handle;
  return OpenAndClassifyImage(path, &handle, report);
}

WinError ClassifyDisk(uint32_t disk, uint64_t firstSector, uint64_t sectorCount,
                      char16_t driveLetter, SourceReport* report) {
  ScopedFile handle;
  return OpenAndClassifyDisk(disk, firstSector, sectorCount, driveLetter, &handle, report);
}
