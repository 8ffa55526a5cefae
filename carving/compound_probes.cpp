// The two container probes: which application made a compound file, and
// which an OOXML package. Both read further sectors through the context.
#include <algorithm>
#include <vector>

#include "carving/probe_bytes.h"
#include "carving/probes.h"

using namespace probe_bytes;

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// The 8-bit text at `at` begins with `prefix`, compared without regard to
// case; false when the prefix does not fit before `end`.
bool BeginsWithNoCase(const uint8_t* at, const uint8_t* end, const char* prefix, size_t length) {
  if (static_cast<size_t>(end - at) < length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (LowerAscii(static_cast<char>(at[i])) != LowerAscii(prefix[i])) return false;
  }
  return true;
}

// The same for a UTF-16LE name of at most `nameBytes` bytes.
bool Utf16NameBeginsWithNoCase(const uint8_t* name, size_t nameBytes, const char* prefix,
                               size_t length) {
  if (nameBytes / 2 < length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (name[2 * i + 1] != 0) return false;
    if (LowerAscii(static_cast<char>(name[2 * i])) != LowerAscii(prefix[i])) return false;
  }
  return true;
}

struct NamedType {
  const char* prefix;
  size_t length;
  uint32_t type;
};

// ------------------------------------------------------ compound file ----

constexpr size_t kDirectoryEntryBytes = 128;
constexpr size_t kEntryNameBytes = 64;
constexpr size_t kRootClassIdOffset = 80;
constexpr size_t kFirstDirectorySectorOffset = 48;

struct ClassIdType {
  uint8_t classId[16];
  uint32_t type;
};

// Class identifiers as stored (first three fields little-endian).
constexpr ClassIdType kRootClassIds[] = {
    {{0x06, 0x09, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x46},
     kTypeWordCompound},
    {{0x20, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x46},
     kTypeExcelCompound},
    {{0x10, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x46},
     kTypeExcelCompound},
    {{0x10, 0x8D, 0x81, 0x64, 0x9B, 0x4F, 0xCF, 0x11, 0x86, 0xEA, 0x00, 0xAA, 0x00, 0xB9, 0x29,
      0xE8},
     kTypePowerPointCompound},
};

// Stream names that tell the application. Excel's workbook stream is named
// "Workbook"; "Wordbook" is accepted as well.
constexpr NamedType kStreamNames[] = {
    {"WordDocument", 12, kTypeWordCompound},
    {"Workbook", 8, kTypeExcelCompound},
    {"Wordbook", 8, kTypeExcelCompound},
    {"PowerPoint Document", 19, kTypePowerPointCompound},
};

// The first sector of the file's first stream: a Word file information
// block or an Excel beginning-of-file record.
uint32_t TypeFromFirstStreamSector(const uint8_t* sector, size_t size) {
  if (size >= 2 && Le16(sector) == 0xA5EC) return kTypeWordCompound;
  if (size >= 6 && Le16(sector) == 0x0809 && Le16(sector + 2) == 0x0010 &&
      Le16(sector + 4) == 0x0600)
    return kTypeExcelCompound;
  return kTypeNotRecognized;
}

uint32_t TypeFromDirectorySector(const uint8_t* sector, size_t size) {
  if (Fits(size, kRootClassIdOffset, 16)) {
    for (const ClassIdType& known : kRootClassIds) {
      if (HasAt(sector, size, kRootClassIdOffset, known.classId, 16)) return known.type;
    }
  }
  for (size_t entry = 0; entry + kDirectoryEntryBytes <= size; entry += kDirectoryEntryBytes) {
    for (const NamedType& stream : kStreamNames) {
      if (Utf16NameBeginsWithNoCase(sector + entry, kEntryNameBytes, stream.prefix, stream.length))
        return stream.type;
    }
  }
  return kTypeNotRecognized;
}

// ---------------------------------------------------------- packages ----

constexpr uint32_t kPackageWindowSectors = 4;
constexpr uint32_t kPackageSearchSectors = 20;
constexpr size_t kCarriedBytes = 4;
constexpr size_t kLocalHeaderNameOffset = 30;
constexpr size_t kCentralHeaderNameOffset = 46;

constexpr NamedType kPartFolders[] = {
    {"word", 4, kTypeWordPackage},
    {"ppt", 3, kTypePowerPointPackage},
    {"xl", 2, kTypeExcelPackage},
};

enum class WindowVerdict { Found, EndOfDirectory, NothingYet };

uint32_t TypeOfPartName(const uint8_t* name, const uint8_t* end) {
  for (const NamedType& folder : kPartFolders) {
    if (BeginsWithNoCase(name, end, folder.prefix, folder.length)) return folder.type;
  }
  return kTypeNotRecognized;
}

// Looks through one window for the first local or central header whose part
// name tells the application, stopping at the end-of-central-directory.
WindowVerdict SearchPackageWindow(const uint8_t* window, size_t size, uint32_t* type) {
  const uint8_t* end = window + size;
  for (size_t at = 0; Fits(size, at, 4); ++at) {
    if (window[at] != 'P' || window[at + 1] != 'K') continue;
    size_t nameOffset = 0;
    if (window[at + 2] == 3 && window[at + 3] == 4) {
      nameOffset = kLocalHeaderNameOffset;
    } else if (window[at + 2] == 1 && window[at + 3] == 2) {
      nameOffset = kCentralHeaderNameOffset;
    } else if (window[at + 2] == 5 && window[at + 3] == 6) {
      return WindowVerdict::EndOfDirectory;
    } else {
      continue;
    }
    if (!Fits(size, at, nameOffset)) continue;
    *type = TypeOfPartName(window + at + nameOffset, end);
    if (*type != kTypeNotRecognized) return WindowVerdict::Found;
  }
  return WindowVerdict::NothingYet;
}

}  // namespace

uint32_t ProbeCompoundFile(const uint8_t* bytes, size_t n, CarveContext& context) {
  static constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  if (n < 8 || !HasAt(bytes, n, 0, kSignature, 8)) return kTypeNotRecognized;
  const size_t sectorSize = context.sectorSize;
  if (sectorSize == 0) return kTypeOtherCompound;
  std::vector<uint8_t> sector(sectorSize);
  if (!ReadContextSectors(context, context.runningSector + 1, 1, sector.data()))
    return kTypeOtherCompound;
  uint32_t type = TypeFromFirstStreamSector(sector.data(), sector.size());
  if (type != kTypeNotRecognized) return type;
  // Without the header's directory field in the given bytes nothing more can
  // be decided.
  if (!Fits(n, kFirstDirectorySectorOffset, 4)) return kTypeOtherCompound;
  const uint64_t directorySector = Le32(bytes + kFirstDirectorySectorOffset);
  if (!ReadContextSectors(context, context.runningSector + directorySector + 1, 1, sector.data()))
    return kTypeOtherCompound;
  type = TypeFromDirectorySector(sector.data(), sector.size());
  return type != kTypeNotRecognized ? type : kTypeOtherCompound;
}

uint32_t ProbePackage(const uint8_t* bytes, size_t n, CarveContext& context) {
  if (n < 31) return kTypeNotRecognized;
  if (!HasText(bytes, n, 0, "PK\x03\x04") && !HasText(bytes, n, 31, "[Content_Types].xml"))
    return kTypeNotRecognized;
  const size_t sectorSize = context.sectorSize;
  if (sectorSize == 0) return kTypeNotRecognized;
  const size_t windowBytes = kPackageWindowSectors * sectorSize;
  std::vector<uint8_t> buffer(kCarriedBytes + windowBytes, 0);
  for (uint32_t done = 0; done < kPackageSearchSectors; done += kPackageWindowSectors) {
    if (!ReadContextSectors(context, context.runningSector + done, kPackageWindowSectors,
                            buffer.data() + kCarriedBytes))
      return kTypeNotRecognized;
    uint32_t type = kTypeNotRecognized;
    switch (SearchPackageWindow(buffer.data(), buffer.size(), &type)) {
      case WindowVerdict::Found: return type;
      case WindowVerdict::EndOfDirectory: return kTypeNotRecognized;
      case WindowVerdict::NothingYet: break;
    }
    // Keep the window's last bytes in front, so a signature split between
    // two windows is still found.
    std::copy(buffer.end() - kCarriedBytes, buffer.end(), buffer.begin());
  }
  return kTypeNotRecognized;
}
