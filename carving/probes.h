// Recognisers of file beginnings. A probe looks at the first sector of a
// would-be file (bytes, n) and answers a type code or kTypeNotRecognized. It
// never reads outside those n bytes: a probe that needs more answers "not
// recognised". The compound-file, package and transport-stream probes read
// further sectors through the context's source.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/carve_context.h"
#include "carving/file_types.h"

// Every distinct probe, in the order in which the signature table first uses
// it (rows of one type share their probe).
enum class ProbeKind : uint8_t {
  Mpeg,
  Mp4,
  RealMedia,
  Asf,
  Swf,
  Avi,
  Flv,
  ThreeGpp,
  Matroska,
  TransportStream,
  Avchd,
  Mxf,
  Id3,
  Midi,
  MonkeysAudio,
  Wav,
  QuickTime,
  MpegAudioLayer2,
  Smaf,
  CompoundMagic,  // any compound file, answered as a Flash authoring file
  Gif,
  Bmp,
  Jpeg,
  Png,
  Photoshop,
  Tiff,
  Icon,
  CompoundFile,  // Word / Excel / PowerPoint / other compound file
  Package,       // Word / Excel / PowerPoint OOXML package
  Pdf,
  Gzip,
  SevenZip,
  Zip,
  Rar,
  Cab,
  PeImage,
  Ghost,
  Sqlite,
  Dbx,
  Pst,
  TrueType,
};
constexpr size_t kProbeCount = static_cast<size_t>(ProbeKind::TrueType) + 1;

using ProbeFn = uint32_t (*)(const uint8_t* bytes, size_t n, CarveContext& context);

// A necessary condition of a probe: the byte at `offset` is `first` and the
// one after it is `second` (any byte when second is kAnyByte). A probe can
// answer a type only when one of its anchors holds; the fast dispatch relies
// on that.
constexpr int16_t kAnyByte = -1;
struct ProbeAnchor {
  uint8_t offset;
  uint8_t first;
  int16_t second;
};
constexpr size_t kMaxProbeAnchors = 2;

struct ProbeDescriptor {
  const char* name;
  ProbeFn run;
  uint8_t anchorCount;
  ProbeAnchor anchors[kMaxProbeAnchors];
};

const ProbeDescriptor& DescribeProbe(ProbeKind kind);

inline uint32_t RunProbe(ProbeKind kind, const uint8_t* bytes, size_t n, CarveContext& context) {
  return DescribeProbe(kind).run(bytes, n, context);
}

// The probes that read further sectors (compound_probes.cpp,
// transport_stream_probe.cpp).
uint32_t ProbeCompoundFile(const uint8_t* bytes, size_t n, CarveContext& context);
uint32_t ProbePackage(const uint8_t* bytes, size_t n, CarveContext& context);
uint32_t ProbeTransportStream(const uint8_t* bytes, size_t n, CarveContext& context);
