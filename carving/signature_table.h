// The signature table: which file-name extensions belong to which type, the
// probe that recognises the type and the rule that measures a carved file.
// Row order matters: identification takes the first row whose probe
// recognises a sector.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "carving/carve_context.h"
#include "carving/file_types.h"
#include "carving/probes.h"

// How a carved file's length is found; None: the type is recognised (it
// ends a carved file and serves the content check) but never carved.
enum class SizeRule : uint8_t {
  None,
  MpegEndCode,
  IsoMediaText,
  RealMediaIndex,
  AsfFileSize,
  SwfLength,
  RiffLength,
  ForwardScan4GiB,
  ForwardScan64GiB,
  PacketGrid,
  Id3v1Tag,
  MidiTracks,
  ApeTag,
  ForwardScan64MiB,
  GifTrailer,
  BmpLength,
  JpegEndMarker,
  PngEndChunk,
  ForwardScan128MiB,
  IconDirectory,
};

struct SignatureEntry {
  const char* extension;  // without the dot; "" in the terminating row
  uint32_t type;          // kTypeNotRecognized in the terminating row
  ProbeKind probe;
  SizeRule sizeRule;
};

constexpr size_t kSignatureRowCount = 85;
// The 85 rows followed by the terminating row.
const std::array<SignatureEntry, kSignatureRowCount + 1>& SignatureTable();

constexpr size_t kNoRow = kSignatureRowCount;  // the terminating row's index
// The first row whose extension equals `extension` without regard to case.
size_t FindRowByExtension(const char* extension);
// The first row of a type (its name when carved); kNoRow for unknown types.
size_t FirstRowOfType(uint32_t type);

// Whether the first data sector of a file agrees with the type its extension
// names: 1 when the extension's first row's probe answers that row's type,
// or when the extension is not in the table; 0 otherwise. Fills the
// context's sector fields and clears its stream-continuation flag.
uint32_t CheckFileContent(CarveContext& context, const uint8_t* bytes, size_t n,
                          const char* extension, const SectorSource* source, uint32_t sectorSize,
                          uint64_t sector);
// The same on the process-wide context.
uint32_t CheckFileContent(const uint8_t* bytes, size_t n, const char* extension,
                          const SectorSource* source, uint32_t sectorSize, uint64_t sector);
