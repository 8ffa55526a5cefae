// The small OS layer the portable core talks through. Everything the scan
// engines, scan logs and jobs need from the system is here; the Win32 side
// lives in *_win32.cpp, the Linux side in *_posix.cpp. Results are Win32
// error codes on every platform (see win32_errors.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32_errors.h"

namespace platform {

// ---------------------------------------------------------------- files ----

// An open file or device. On Windows a HANDLE, on Linux a file descriptor.
using FileHandle = intptr_t;
constexpr FileHandle kInvalidHandle = -1;

enum class Access {
  Read,       // GENERIC_READ
  ReadWrite,  // GENERIC_READ | GENERIC_WRITE
};

enum class Disposition {
  OpenExisting,  // OPEN_EXISTING: fails with 2 when missing
  OpenAlways,    // OPEN_ALWAYS: opens or creates, keeps the content
  CreateAlways,  // CREATE_ALWAYS: creates or truncates to 0 bytes
  CreateNew,     // CREATE_NEW: fails with 80 when the file exists
};

// Files and devices are always opened shared for reading and writing
// (FILE_SHARE_READ | FILE_SHARE_WRITE), buffered. `hidden` asks for
// FILE_ATTRIBUTE_HIDDEN on a file that is created (ignored on Linux).
WinError OpenFile(const std::u16string& path, Access access, Disposition disposition,
                  FileHandle* out, bool hidden = false);
void CloseFile(FileHandle handle);

// Moves the file pointer to an absolute byte offset (FILE_BEGIN).
WinError Seek(FileHandle handle, uint64_t offset);
// One system read / write of at most `bytes` from the current position; the
// count actually moved is stored in *done (0 at end of file).
WinError ReadSome(FileHandle handle, void* buffer, uint32_t bytes, uint32_t* done);
WinError WriteSome(FileHandle handle, const void* buffer, uint32_t bytes, uint32_t* done);
// Size in bytes of a file, or of a block device.
WinError GetFileSize(FileHandle handle, uint64_t* size);
WinError FlushFile(FileHandle handle);
// Sets the end of the file at `length` bytes (SetEndOfFile).
WinError SetFileLength(FileHandle handle, uint64_t length);
// The file's last-write time as a FILETIME (GetFileTime).
WinError GetFileWriteTime(FileHandle handle, uint64_t* fileTime);

// ---------------------------------------------------------------- disks ----

// DISK_GEOMETRY as IOCTL_DISK_GET_DRIVE_GEOMETRY answers it.
struct DiskGeometry {
  int64_t cylinders = 0;
  uint32_t mediaType = 0;  // kMediaRemovable, kMediaFixed, ...
  uint32_t tracksPerCylinder = 0;
  uint32_t sectorsPerTrack = 0;
  uint32_t bytesPerSector = 0;
};
constexpr uint32_t kMediaRemovable = 11;
constexpr uint32_t kMediaFixed = 12;

// The device path of physical disk N: "\\.\PhysicalDrive%d" on Windows; on
// Linux the N-th whole-disk block device of /sys/block in name order (loop,
// ram and zram devices are left out unless VARNELLE_INCLUDE_LOOP=1). Empty
// when there is no such disk.
std::u16string PhysicalDiskPath(uint32_t diskNumber);
// The device paths of all physical disks, in disk-number order.
std::vector<std::u16string> ListPhysicalDisks();
// Opens physical disk N with the given access (shared read/write).
WinError OpenPhysicalDisk(uint32_t diskNumber, Access access, FileHandle* out);
WinError GetDiskGeometry(FileHandle disk, DiskGeometry* out);
// IOCTL_DISK_GET_LENGTH_INFO: the disk's length in bytes.
WinError GetDiskLengthInfo(FileHandle disk, uint64_t* bytes);

// Volumes by drive letter (Windows only; Linux answers kErrorNotSupported).
WinError FlushVolumeByLetter(char16_t driveLetter);
WinError GetVolumeFreeBytes(char16_t driveLetter, uint64_t* bytes);
WinError GetVolumeFileSystem(char16_t driveLetter, std::u16string* name);

// -------------------------------------------------------------- folders ----

constexpr char16_t kPathSeparator =
#ifdef _WIN32
    u'\\';
#else
    u'/';
#endif

// `folder` + separator + `name`, with exactly one separator between them.
std::u16string JoinPath(const std::u16string& folder, const std::u16string& name);
// The folder part of a path (PathRemoveFileSpecW): everything before the last
// separator; empty when there is none.
std::u16string ParentFolder(const std::u16string& path);

bool PathExists(const std::u16string& path);
bool IsFolder(const std::u16string& path);
// Creates one folder; kErrorAlreadyExists (183) when it is there already.
WinError CreateFolder(const std::u16string& path);
// Creates a folder with every missing parent (SHCreateDirectory): 0 when it
// was made, kErrorAlreadyExists when it existed.
WinError CreateFolderTree(const std::u16string& path);
// Deletes a folder and everything in it; 0 also when it did not exist.
WinError DeleteTree(const std::u16string& path);
WinError DeleteFile(const std::u16string& path);
// Replaces `to` by `from` in one step (rename with replace, write-through),
// so that a crash leaves either the old or the new file.
WinError ReplaceFile(const std::u16string& from, const std::u16string& to);

struct FolderItem {
  std::u16string name;
  bool isFolder = false;
  uint64_t size = 0;
};
// The entries of a folder without "." and "..", sorted by name (code units).
WinError ListFolder(const std::u16string& folder, std::vector<FolderItem>* out);

// The base of the application-data folder: VARNELLE_DATA_DIR when set, else
// CSIDL_APPDATA on Windows, $XDG_DATA_HOME or ~/.local/share on Linux.
std::u16string AppDataBase();
// The folder of the running executable, without a trailing separator.
std::u16string ProgramFolder();
// The value of an environment variable; empty when unset.
std::u16string GetEnvironment(const char* name);

// ----------------------------------------------------------------- time ----

// SYSTEMTIME's layout and meaning.
struct LocalTime {
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t dayOfWeek = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};
LocalTime GetLocalTime();
// Milliseconds since some fixed moment, wrapping at 2^32 (GetTickCount).
uint32_t TickCount();
void SleepMs(uint32_t milliseconds);

// FILETIME (100 ns units since 1601-01-01) <-> calendar time, pure
// arithmetic without any time-zone conversion. Years 1601..30827.
bool SystemTimeToFileTime(const LocalTime& time, uint64_t* fileTime);
bool FileTimeToSystemTime(uint64_t fileTime, LocalTime* time);

// ----------------------------------------------------------------- text ----

// 8-bit text of the system code page (the ANSI code page on Windows, UTF-8 on
// Linux) <-> UTF-16. Invalid input converts to U+FFFD / '?', never fails.
std::u16string AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::u16string& text);
// Byte length (1..4) of the character that starts at `text`, given that
// `available` bytes remain (DBCS lead bytes on Windows, UTF-8 on Linux);
// never more than `available`.
size_t AnsiCharLength(const char* text, size_t available);
// The same for UTF-8 on every platform: 1 for a malformed or cut sequence.
size_t Utf8CharLength(const char* text, size_t available);

// UTF-8 <-> UTF-16, the same on every platform (command line, JSON output).
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);

// The Win32 code for a POSIX errno value (ENOENT 2, EACCES 5, ENOSPC 112,
// EIO 30, ...). Defined on every platform so tests can check the table.
WinError ErrnoToWin32(int errnoValue);

}  // namespace platform
