// Windows side of the OS layer: kernel32 files and devices, the shell's
// folders, the ANSI code page. HANDLEs travel as FileHandle (intptr_t);
// char16_t and wchar_t are both UTF-16 code units here.
#ifdef _WIN32

#include <windows.h>
#include <winioctl.h>
#include <shlobj.h>

// windows.h maps these names to their W functions; the OS layer defines its
// own functions of the same names.
#undef DeleteFile
#undef ReplaceFile

#include <algorithm>
#include <climits>
#include <cstdio>

#include "platform/platform.h"

namespace platform {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected");

WinError LastError() { return static_cast<WinError>(::GetLastError()); }

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string FromWide(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

HANDLE ToHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }
FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

DWORD DesiredAccess(Access access) {
  return access == Access::ReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
}

DWORD CreationDisposition(Disposition disposition) {
  switch (disposition) {
    case Disposition::OpenExisting: return OPEN_EXISTING;
    case Disposition::OpenAlways: return OPEN_ALWAYS;
    case Disposition::CreateAlways: return CREATE_ALWAYS;
    case Disposition::CreateNew: return CREATE_NEW;
  }
  return OPEN_EXISTING;
}

// Opens a file or device shared for reading and writing.
WinError OpenShared(const std::u16string& path, DWORD access, DWORD disposition, DWORD attributes,
                    FileHandle* out) {
  const HANDLE handle = ::CreateFileW(Wide(path), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, disposition, attributes, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *out = kInvalidHandle;
    return LastError();
  }
  *out = FromHandle(handle);
  return kErrorSuccess;
}

// A DeviceIoControl that only returns data.
WinError QueryDevice(FileHandle device, DWORD code, void* out, DWORD outBytes) {
  DWORD returned = 0;
  if (!::DeviceIoControl(ToHandle(device), code, nullptr, 0, out, outBytes, &returned, nullptr)) {
    return LastError();
  }
  return kErrorSuccess;
}

bool IsMissing(WinError error) {
  return error == kErrorFileNotFound || error == kErrorPathNotFound;
}

// "X:\" for the volume-root queries.
std::u16string VolumeRoot(char16_t driveLetter) { return std::u16string{driveLetter, u':', u'\\'}; }

}  // namespace

// ---------------------------------------------------------------- files ----

WinError OpenFile(const std::u16string& path, Access access, Disposition disposition,
                  FileHandle* out, bool hidden) {
  // Creating or truncating a file needs write access, as on the Linux side.
  if (disposition != Disposition::OpenExisting) access = Access::ReadWrite;
  const DWORD attributes = hidden ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL;
  return OpenShared(path, DesiredAccess(access), CreationDisposition(disposition), attributes,
                    out);
}

void CloseFile(FileHandle handle) {
  if (handle != kInvalidHandle) ::CloseHandle(ToHandle(handle));
}

WinError Seek(FileHandle handle, uint64_t offset) {
  if (offset > static_cast<uint64_t>(LLONG_MAX)) return kErrorInvalidParameter;
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  if (!::SetFilePointerEx(ToHandle(handle), distance, nullptr, FILE_BEGIN)) return LastError();
  return kErrorSuccess;
}

WinError ReadSome(FileHandle handle, void* buffer, uint32_t bytes, uint32_t* done) {
  DWORD moved = 0;
  const BOOL ok = ::ReadFile(ToHandle(handle), buffer, bytes, &moved, nullptr);
  *done = ok ? moved : 0;
  return ok ? kErrorSuccess : LastError();
}

WinError WriteSome(FileHandle handle, const void* buffer, uint32_t bytes, uint32_t* done) {
  DWORD moved = 0;
  const BOOL ok = ::WriteFile(ToHandle(handle), buffer, bytes, &moved, nullptr);
  *done = ok ? moved : 0;
  return ok ? kErrorSuccess : LastError();
}

WinError GetFileSize(FileHandle handle, uint64_t* size) {
  // A disk or volume handle answers 0 (or fails) here; its length comes from
  // the length query instead.
  LARGE_INTEGER fileSize;
  fileSize.QuadPart = 0;
  const WinError fileError = ::GetFileSizeEx(ToHandle(handle), &fileSize) ? kErrorSuccess
                                                                          : LastError();
  if (fileError == kErrorSuccess && fileSize.QuadPart > 0) {
    *size = static_cast<uint64_t>(fileSize.QuadPart);
    return kErrorSuccess;
  }
  uint64_t deviceBytes = 0;
  if (GetDiskLengthInfo(handle, &deviceBytes) == kErrorSuccess) {
    *size = deviceBytes;
    return kErrorSuccess;
  }
  if (fileError == kErrorSuccess) *size = 0;
  return fileError;
}

WinError FlushFile(FileHandle handle) {
  return ::FlushFileBuffers(ToHandle(handle)) ? kErrorSuccess : LastError();
}

WinError SetFileLength(FileHandle handle, uint64_t length) {
  // SetEndOfFile works at the file pointer; put the pointer back afterwards so
  // that this behaves like ftruncate.
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  LARGE_INTEGER position;
  if (!::SetFilePointerEx(ToHandle(handle), zero, &position, FILE_CURRENT)) return LastError();
  WinError error = Seek(handle, length);
  if (error == kErrorSuccess && !::SetEndOfFile(ToHandle(handle))) error = LastError();
  ::SetFilePointerEx(ToHandle(handle), position, nullptr, FILE_BEGIN);
  return error;
}

WinError GetFileWriteTime(FileHandle handle, uint64_t* fileTime) {
  FILETIME written;
  if (!::GetFileTime(ToHandle(handle), nullptr, nullptr, &written)) return LastError();
  *fileTime = (uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime;
  return kErrorSuccess;
}

// ---------------------------------------------------------------- disks ----

std::u16string PhysicalDiskPath(uint32_t diskNumber) {
  wchar_t path[32];
  std::swprintf(path, 32, L"\\\\.\\PhysicalDrive%u", diskNumber);
  return FromWide(path);
}

std::vector<std::u16string> ListPhysicalDisks() {
  // Disk numbers may have gaps; probe the usual range without asking for any
  // access (that needs no rights). A disk that exists but refuses the probe
  // is still listed.
  constexpr uint32_t kProbedDisks = 64;
  std::vector<std::u16string> paths;
  for (uint32_t n = 0; n < kProbedDisks; ++n) {
    const std::u16string path = PhysicalDiskPath(n);
    FileHandle probe = kInvalidHandle;
    const WinError error = OpenShared(path, 0, OPEN_EXISTING, 0, &probe);
    CloseFile(probe);
    if (!IsMissing(error)) paths.push_back(path);
  }
  return paths;
}

WinError OpenPhysicalDisk(uint32_t diskNumber, Access access, FileHandle* out) {
  return OpenShared(PhysicalDiskPath(diskNumber), DesiredAccess(access), OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, out);
}

WinError GetDiskGeometry(FileHandle disk, DiskGeometry* out) {
  DISK_GEOMETRY geometry {};
  const WinError error =
      QueryDevice(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY, &geometry, sizeof geometry);
  if (error != kErrorSuccess) return error;
  out->cylinders = geometry.Cylinders.QuadPart;
  out->mediaType = static_cast<uint32_t>(geometry.MediaType);
  out->tracksPerCylinder = geometry.TracksPerCylinder;
  out->sectorsPerTrack = geometry.SectorsPerTrack;
  out->bytesPerSector = geometry.BytesPerSector;
  return kErrorSuccess;
}

WinError GetDiskLengthInfo(FileHandle disk, uint64_t* bytes) {
  GET_LENGTH_INFORMATION length {};
  const WinError error = QueryDevice(disk, IOCTL_DISK_GET_LENGTH_INFO, &length, sizeof length);
  if (error != kErrorSuccess) return error;
  *bytes = static_cast<uint64_t>(length.Length.QuadPart);
  return kErrorSuccess;
}

WinError FlushVolumeByLetter(char16_t driveLetter) {
  const std::u16string path{u'\\', u'\\', u'.', u'\\', driveLetter, u':'};
  FileHandle volume = kInvalidHandle;
  WinError error = OpenShared(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, 0, &volume);
  if (error != kErrorSuccess) return error;
  error = FlushFile(volume);
  CloseFile(volume);
  return error;
}

WinError GetVolumeFreeBytes(char16_t driveLetter, uint64_t* bytes) {
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!::GetDiskFreeSpaceW(Wide(VolumeRoot(driveLetter)), &sectorsPerCluster, &bytesPerSector,
                           &freeClusters, &totalClusters)) {
    return LastError();
  }
  *bytes = uint64_t{bytesPerSector} * sectorsPerCluster * freeClusters;
  return kErrorSuccess;
}

WinError GetVolumeFileSystem(char16_t driveLetter, std::u16string* name) {
  wchar_t volumeName[256];
  wchar_t fileSystem[32];
  if (!::GetVolumeInformationW(Wide(VolumeRoot(driveLetter)), volumeName, 256, nullptr, nullptr,
                               nullptr, fileSystem, 32)) {
    return LastError();
  }
  *name = FromWide(fileSystem);
  return kErrorSuccess;
}

// -------------------------------------------------------------- folders ----

bool PathExists(const std::u16string& path) {
  return ::GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::u16string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

WinError CreateFolder(const std::u16string& path) {
  return ::CreateDirectoryW(Wide(path), nullptr) ? kErrorSuccess : LastError();
}

WinError DeleteTree(const std::u16string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const WinError error = LastError();
    return IsMissing(error) ? kErrorSuccess : error;
  }
  // Read-only entries cannot be deleted until the attribute is cleared.
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    ::SetFileAttributesW(Wide(path), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFile(path);
  // A junction or folder link is removed itself; what it points to stays.
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    std::vector<FolderItem> items;
    WinError error = ListFolder(path, &items);
    if (error != kErrorSuccess) return error;
    for (const auto& item : items) {
      error = DeleteTree(JoinPath(path, item.name));
      if (error != kErrorSuccess) return error;
    }
  }
  return ::RemoveDirectoryW(Wide(path)) ? kErrorSuccess : LastError();
}

WinError DeleteFile(const std::u16string& path) {
  return ::DeleteFileW(Wide(path)) ? kErrorSuccess : LastError();
}

WinError ReplaceFile(const std::u16string& from, const std::u16string& to) {
  if (!::MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastError();
  }
  return kErrorSuccess;
}

WinError ListFolder(const std::u16string& folder, std::vector<FolderItem>* out) {
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileW(Wide(JoinPath(folder, u"*")), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const WinError error = LastError();
    // An empty drive root has not even "." and "..".
    return error == kErrorFileNotFound && IsFolder(folder) ? kErrorSuccess : error;
  }
  std::vector<FolderItem> items;
  do {
    const std::u16string name = FromWide(found.cFileName);
    if (name == u"." || name == u"..") continue;
    FolderItem item;
    item.name = name;
    item.isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.size = item.isFolder ? 0 : (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    items.push_back(std::move(item));
  } while (::FindNextFileW(search, &found));
  const WinError error = LastError();
  ::FindClose(search);
  if (error != ERROR_NO_MORE_FILES) return error;
  std::sort(items.begin(), items.end(),
            [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
  out->insert(out->end(), items.begin(), items.end());
  return kErrorSuccess;
}

std::u16string GetEnvironment(const char* name) {
  const std::u16string wideName = Utf8ToUtf16(name);
  std::u16string value(64, u'\0');
  for (;;) {
    const DWORD length = ::GetEnvironmentVariableW(
        Wide(wideName), reinterpret_cast<wchar_t*>(&value[0]), static_cast<DWORD>(value.size()));
    if (length == 0) return std::u16string();
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.assign(length, u'\0');  // length includes the terminating NUL here
  }
}

std::u16string AppDataBase() {
  const std::u16string base = GetEnvironment("VARNELLE_DATA_DIR");
  if (!base.empty()) return base;
  wchar_t folder[MAX_PATH];
  if (!::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, TRUE)) return std::u16string();
  return FromWide(folder);
}

std::u16string ProgramFolder() {
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(&path[0]),
                                              static_cast<DWORD>(path.size()));
    if (length == 0) return u".";
    if (length < path.size()) {
      path.resize(length);
      return ParentFolder(path);
    }
    if (path.size() >= 32768) return u".";
    path.assign(path.size() * 2, u'\0');  // the name was cut: try a larger buffer
  }
}

// ----------------------------------------------------------------- time ----

LocalTime GetLocalTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  LocalTime t;
  t.year = now.wYear;
  t.month = now.wMonth;
  t.dayOfWeek = now.wDayOfWeek;
  t.day = now.wDay;
  t.hour = now.wHour;
  t.minute = now.wMinute;
  t.second = now.wSecond;
  t.milliseconds = now.wMilliseconds;
  return t;
}

uint32_t TickCount() { return ::GetTickCount(); }

void SleepMs(uint32_t milliseconds) { ::Sleep(milliseconds); }

// ----------------------------------------------------------------- text ----

std::u16string AnsiToWide(const std::string& text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::u16string();
  const int inLength = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), inLength, nullptr, 0);
  if (length <= 0) return std::u16string();
  std::u16string out(static_cast<size_t>(length), u'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), inLength, reinterpret_cast<wchar_t*>(&out[0]),
                        length);
  return out;
}

std::string WideToAnsi(const std::u16string& text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::string();
  const auto* in = reinterpret_cast<const wchar_t*>(text.data());
  const int inLength = static_cast<int>(text.size());
  const int length =
      ::WideCharToMultiByte(CP_ACP, 0, in, inLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string out(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, in, inLength, &out[0], length, nullptr, nullptr);
  return out;
}

size_t AnsiCharLength(const char* text, size_t available) {
  if (available == 0) return 0;
  if (::GetACP() == CP_UTF8) return Utf8CharLength(text, available);
  const auto lead = static_cast<BYTE>(text[0]);
  return available >= 2 && ::IsDBCSLeadByteEx(CP_ACP, lead) ? 2 : 1;
}

}  // namespace platform

#endif  // _WIN32
