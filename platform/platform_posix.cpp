// Linux side of the OS layer: file descriptors stand in for handles, block
// devices for physical disks, UTF-8 for the ANSI code page.
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "platform/platform.h"

namespace platform {

namespace {

WinError LastError() { return ErrnoToWin32(errno); }

std::string Native(const std::u16string& path) { return Utf16ToUtf8(path); }

int Descriptor(FileHandle handle) { return static_cast<int>(handle); }

bool IsBlockDevice(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISBLK(st.st_mode);
}

std::string ReadSysfsLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

bool IncludeLoopDevices() {
  const char* value = std::getenv("VARNELLE_INCLUDE_LOOP");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

bool IsListedDisk(const std::string& name) {
  if (name.empty() || name[0] == '.') return false;
  const bool virtualDisk = name.rfind("loop", 0) == 0 || name.rfind("ram", 0) == 0 ||
                           name.rfind("zram", 0) == 0;
  return !virtualDisk || IncludeLoopDevices();
}

}  // namespace

// ---------------------------------------------------------------- files ----

WinError OpenFile(const std::u16string& path, Access access, Disposition disposition,
                  FileHandle* out, bool /*hidden*/) {
  *out = kInvalidHandle;
  int flags = (access == Access::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  switch (disposition) {
    case Disposition::OpenExisting: break;
    case Disposition::OpenAlways: flags |= O_CREAT; break;
    case Disposition::CreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case Disposition::CreateNew: flags |= O_CREAT | O_EXCL; break;
  }
  if (disposition != Disposition::OpenExisting && access == Access::Read) {
    // Creating needs write access to truncate; reading a fresh file is harmless.
    flags = (flags & ~O_RDONLY) | O_RDWR;
  }
  const int fd = ::open(Native(path).c_str(), flags, 0644);
  if (fd < 0) {
    if (errno == EEXIST) return kErrorFileExists;
    return LastError();
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kErrorAccessDenied;
  }
  *out = fd;
  return kErrorSuccess;
}

void CloseFile(FileHandle handle) {
  if (handle != kInvalidHandle) ::close(Descriptor(handle));
}

WinError Seek(FileHandle handle, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return kErrorInvalidParameter;
  if (::lseek(Descriptor(handle), static_cast<off_t>(offset), SEEK_SET) < 0) return LastError();
  return kErrorSuccess;
}

WinError ReadSome(FileHandle handle, void* buffer, uint32_t bytes, uint32_t* done) {
  *done = 0;
  ssize_t n;
  do {
    n = ::read(Descriptor(handle), buffer, bytes);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return LastError();
  *done = static_cast<uint32_t>(n);
  return kErrorSuccess;
}

WinError WriteSome(FileHandle handle, const void* buffer, uint32_t bytes, uint32_t* done) {
  *done = 0;
  ssize_t n;
  do {
    n = ::write(Descriptor(handle), buffer, bytes);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return LastError();
  *done = static_cast<uint32_t>(n);
  return kErrorSuccess;
}

WinError GetFileSize(FileHandle handle, uint64_t* size) {
  const int fd = Descriptor(handle);
  if (IsBlockDevice(fd)) {
    uint64_t bytes = 0;
    if (ioctl(fd, BLKGETSIZE64, &bytes) != 0) return LastError();
    *size = bytes;
    return kErrorSuccess;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) return LastError();
  *size = static_cast<uint64_t>(st.st_size);
  return kErrorSuccess;
}

WinError FlushFile(FileHandle handle) {
  if (::fsync(Descriptor(handle)) != 0) return LastError();
  return kErrorSuccess;
}

WinError SetFileLength(FileHandle handle, uint64_t length) {
  if (::ftruncate(Descriptor(handle), static_cast<off_t>(length)) != 0) return LastError();
  return kErrorSuccess;
}

WinError GetFileWriteTime(FileHandle handle, uint64_t* fileTime) {
  struct stat st;
  if (fstat(Descriptor(handle), &st) != 0) return LastError();
  // FILETIME counts 100 ns units from 1601-01-01, 11,644,473,600 s before 1970.
  constexpr int64_t kUnixEpochSeconds = 11644473600LL;
  const int64_t seconds = static_cast<int64_t>(st.st_mtim.tv_sec) + kUnixEpochSeconds;
  *fileTime = static_cast<uint64_t>(seconds) * 10000000ULL +
              static_cast<uint64_t>(st.st_mtim.tv_nsec / 100);
  return kErrorSuccess;
}

// ---------------------------------------------------------------- disks ----

std::vector<std::u16string> ListPhysicalDisks() {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir("/sys/block")) {
    while (const dirent* entry = ::readdir(dir)) {
      if (IsListedDisk(entry->d_name)) names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::u16string> paths;
  for (const auto& name : names) paths.push_back(Utf8ToUtf16("/dev/" + name));
  return paths;
}

std::u16string PhysicalDiskPath(uint32_t diskNumber) {
  const auto disks = ListPhysicalDisks();
  return diskNumber < disks.size() ? disks[diskNumber] : std::u16string();
}

WinError OpenPhysicalDisk(uint32_t diskNumber, Access access, FileHandle* out) {
  *out = kInvalidHandle;
  const std::u16string path = PhysicalDiskPath(diskNumber);
  if (path.empty()) return kErrorFileNotFound;
  return OpenFile(path, access, Disposition::OpenExisting, out);
}

WinError GetDiskGeometry(FileHandle disk, DiskGeometry* out) {
  const int fd = Descriptor(disk);
  if (!IsBlockDevice(fd)) return kErrorInvalidFunction;
  int logicalSector = 512;
  if (ioctl(fd, BLKSSZGET, &logicalSector) != 0 || logicalSector <= 0) logicalSector = 512;
  uint64_t bytes = 0;
  if (ioctl(fd, BLKGETSIZE64, &bytes) != 0) return LastError();
  DiskGeometry geometry;
  geometry.bytesPerSector = static_cast<uint32_t>(logicalSector);
  // Block devices have no real CHS; report the conventional 255 heads x 63
  // sectors translation, as Windows does for large disks.
  struct hd_geometry chs {};
  if (ioctl(fd, HDIO_GETGEO, &chs) == 0 && chs.heads != 0 && chs.sectors != 0) {
    geometry.tracksPerCylinder = chs.heads;
    geometry.sectorsPerTrack = chs.sectors;
  } else {
    geometry.tracksPerCylinder = 255;
    geometry.sectorsPerTrack = 63;
  }
  const uint64_t perCylinder = uint64_t{geometry.tracksPerCylinder} * geometry.sectorsPerTrack;
  geometry.cylinders = static_cast<int64_t>(bytes / geometry.bytesPerSector / perCylinder);
  // Removable media: /sys/class/block/<name>/removable.
  struct stat st;
  geometry.mediaType = kMediaFixed;
  if (fstat(fd, &st) == 0) {
    char link[64];
    std::snprintf(link, sizeof link, "/sys/dev/block/%u:%u/removable", major(st.st_rdev),
                  minor(st.st_rdev));
    if (ReadSysfsLine(link) == "1") geometry.mediaType = kMediaRemovable;
  }
  *out = geometry;
  return kErrorSuccess;
}

WinError GetDiskLengthInfo(FileHandle disk, uint64_t* bytes) {
  const int fd = Descriptor(disk);
  if (!IsBlockDevice(fd)) return kErrorInvalidFunction;
  if (ioctl(fd, BLKGETSIZE64, bytes) != 0) return LastError();
  return kErrorSuccess;
}

WinError FlushVolumeByLetter(char16_t) { return kErrorNotSupported; }
WinError GetVolumeFreeBytes(char16_t, uint64_t*) { return kErrorNotSupported; }
WinError GetVolumeFileSystem(char16_t, std::u16string*) { return kErrorNotSupported; }

// -------------------------------------------------------------- folders ----

bool PathExists(const std::u16string& path) {
  struct stat st;
  return ::stat(Native(path).c_str(), &st) == 0;
}

bool IsFolder(const std::u16string& path) {
  struct stat st;
  return ::stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

WinError CreateFolder(const std::u16string& path) {
  if (::mkdir(Native(path).c_str(), 0755) == 0) return kErrorSuccess;
  if (errno == EEXIST) return kErrorAlreadyExists;
  return LastError();
}

WinError DeleteTree(const std::u16string& path) {
  struct stat st;
  const std::string native = Native(path);
  if (::lstat(native.c_str(), &st) != 0) return errno == ENOENT ? kErrorSuccess : LastError();
  if (!S_ISDIR(st.st_mode)) return ::unlink(native.c_str()) == 0 ? kErrorSuccess : LastError();
  std::vector<FolderItem> items;
  WinError error = ListFolder(path, &items);
  if (error != kErrorSuccess) return error;
  for (const auto& item : items) {
    error = DeleteTree(JoinPath(path, item.name));
    if (error != kErrorSuccess) return error;
  }
  return ::rmdir(native.c_str()) == 0 ? kErrorSuccess : LastError();
}

WinError DeleteFile(const std::u16string& path) {
  return ::unlink(Native(path).c_str()) == 0 ? kErrorSuccess : LastError();
}

WinError ReplaceFile(const std::u16string& from, const std::u16string& to) {
  if (::rename(Native(from).c_str(), Native(to).c_str()) != 0) return LastError();
  // Make the rename itself durable: sync the folder that holds both names.
  std::u16string folder = ParentFolder(to);
  if (folder.empty()) folder = u".";
  const int dirFd = ::open(Native(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return kErrorSuccess;
}

WinError ListFolder(const std::u16string& folder, std::vector<FolderItem>* out) {
  const std::string native = Native(folder);
  DIR* dir = ::opendir(native.c_str());
  if (dir == nullptr) return LastError();
  std::vector<FolderItem> items;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    FolderItem item;
    item.name = Utf8ToUtf16(entry->d_name);
    struct stat st;
    const std::string full = native + "/" + entry->d_name;
    if (::stat(full.c_str(), &st) == 0) {
      item.isFolder = S_ISDIR(st.st_mode);
      item.size = item.isFolder ? 0 : static_cast<uint64_t>(st.st_size);
    }
    items.push_back(std::move(item));
  }
  ::closedir(dir);
  std::sort(items.begin(), items.end(),
            [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
  out->insert(out->end(), items.begin(), items.end());
  return kErrorSuccess;
}

std::u16string GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? Utf8ToUtf16(value) : std::u16string();
}

std::u16string AppDataBase() {
  std::u16string base = GetEnvironment("VARNELLE_DATA_DIR");
  if (!base.empty()) return base;
  base = GetEnvironment("XDG_DATA_HOME");
  if (!base.empty()) return base;
  std::u16string home = GetEnvironment("HOME");
  if (home.empty()) home = u"/tmp";
  return JoinPath(JoinPath(home, u".local"), u"share");
}

std::u16string ProgramFolder() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return u".";
  buffer[n] = 0;
  return ParentFolder(Utf8ToUtf16(buffer));
}

// ----------------------------------------------------------------- time ----

LocalTime GetLocalTime() {
  timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts {};
  localtime_r(&now.tv_sec, &parts);
  LocalTime t;
  t.year = static_cast<uint16_t>(parts.tm_year + 1900);
  t.month = static_cast<uint16_t>(parts.tm_mon + 1);
  t.dayOfWeek = static_cast<uint16_t>(parts.tm_wday);
  t.day = static_cast<uint16_t>(parts.tm_mday);
  t.hour = static_cast<uint16_t>(parts.tm_hour);
  t.minute = static_cast<uint16_t>(parts.tm_min);
  t.second = static_cast<uint16_t>(std::min(parts.tm_sec, 59));
  t.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
  return t;
}

uint32_t TickCount() {
  timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void SleepMs(uint32_t milliseconds) {
  timespec pause {static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

// ----------------------------------------------------------------- text ----

std::u16string AnsiToWide(const std::string& text) { return Utf8ToUtf16(text); }
std::string WideToAnsi(const std::u16string& text) { return Utf16ToUtf8(text); }

size_t AnsiCharLength(const char* text, size_t available) {
  return Utf8CharLength(text, available);
}

}  // namespace platform

#endif  // !_WIN32
