// The transport-stream probe: a 188-byte packet grid that starts in this
// sector and is not the continuation of a stream seen before.
#include <algorithm>
#include <vector>

#include "carving/probes.h"

namespace {

constexpr size_t kPacketBytes = 188;
constexpr uint8_t kSyncByte = 0x47;
constexpr size_t kLookAheadBytes = 4096;
constexpr size_t kLookAheadPackets = 22;  // packet starts 0 .. 3,948

bool SyncAtEveryPacketStart(const uint8_t* bytes, size_t size, size_t packets) {
  for (size_t i = 0; i < packets; ++i) {
    const size_t at = i * kPacketBytes;
    if (at >= size || bytes[at] != kSyncByte) return false;
  }
  return true;
}

bool FirstSectorHasGrid(const uint8_t* bytes, size_t n) {
  if (n < kPacketBytes || bytes[0] != kSyncByte) return false;
  if (bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0) return false;
  return SyncAtEveryPacketStart(bytes, n, (n + kPacketBytes - 1) / kPacketBytes);
}

// The grid goes on through the first 4,096 bytes from the running sector (at
// least one sector is read, also with sectors larger than 4,096 bytes).
bool LookAheadHasGrid(const CarveContext& context) {
  const uint32_t sectors = std::max<uint32_t>(
      1, static_cast<uint32_t>((kLookAheadBytes + context.sectorSize - 1) / context.sectorSize));
  std::vector<uint8_t> buffer(static_cast<size_t>(sectors) * context.sectorSize);
  if (!ReadContextSectors(context, context.runningSector, sectors, buffer.data())) return false;
  return SyncAtEveryPacketStart(buffer.data(), buffer.size(), kLookAheadPackets);
}

enum class Continuation { No, Yes, Unreadable };

// Whether the sector before the start holds a sync byte at a packet start
// counted back from its end, i.e. the grid began earlier. The first sector
// of a source has nothing before it.
Continuation ContinuesEarlierGrid(const CarveContext& context) {
  if (context.startSector == 0) return Continuation::No;
  const size_t sectorSize = context.sectorSize;
  std::vector<uint8_t> previous(sectorSize);
  if (!ReadContextSectors(context, context.startSector - 1, 1, previous.data()))
    return Continuation::Unreadable;
  for (size_t k = 1; k <= sectorSize / kPacketBytes; ++k) {
    if (previous[sectorSize - kPacketBytes * k] == kSyncByte) return Continuation::Yes;
  }
  return Continuation::No;
}

bool InsideCarvedStream(const CarveContext& context) {
  for (const TransportStreamExtent& extent : context.transportStreamExtents) {
    if (extent.firstSector <= context.startSector && context.startSector <= extent.lastSector)
      return true;
  }
  return false;
}

}  // namespace

uint32_t ProbeTransportStream(const uint8_t* bytes, size_t n, CarveContext& context) {
  if (context.sectorSize == 0 || !FirstSectorHasGrid(bytes, n)) return kTypeNotRecognized;
  if (!LookAheadHasGrid(context)) return kTypeNotRecognized;
  if (context.streamContinuation == 1) {
    if (ContinuesEarlierGrid(context) != Continuation::No) return kTypeNotRecognized;
    if (InsideCarvedStream(context)) return kTypeNotRecognized;
  }
  return kTypeTransportStream;
}
