#include "engines/ntfs/ntfs_runs.h"

namespace {

constexpr uint32_t kRunListOffsetField = 0x20;
constexpr uint32_t kMaxFieldBytes = 7;

uint64_t ReadUnsigned(const uint8_t* bytes, uint32_t count) {
  uint64_t value = 0;
  for (uint32_t i = 0; i < count; ++i) value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  return value;
}

int64_t ReadSigned(const uint8_t* bytes, uint32_t count) {
  if (count == 0) return 0;
  uint64_t value = ReadUnsigned(bytes, count);
  const uint64_t signBit = uint64_t{1} << (8 * count - 1);
  if (value & signBit) value |= ~((signBit << 1) - 1);  // extend the sign
  return static_cast<int64_t>(value);
}

}  // namespace

std::vector<DataRun> DecodeRunList(const uint8_t* attribute, uint32_t attributeLength,
                                   uint32_t sectorBytes) {
  std::vector<DataRun> runs;
  if (attributeLength >= sectorBytes || attributeLength < kRunListOffsetField + 2) return runs;
  uint32_t position = static_cast<uint32_t>(attribute[kRunListOffsetField]) |
                      (static_cast<uint32_t>(attribute[kRunListOffsetField + 1]) << 8);
  while (position < attributeLength) {
    const uint8_t header = attribute[position];
    const uint32_t lengthBytes = header & 0x0F;
    const uint32_t offsetBytes = header >> 4;
    if (header == 0 || lengthBytes > kMaxFieldBytes || offsetBytes > kMaxFieldBytes) break;
    const uint32_t next = position + 1 + lengthBytes + offsetBytes;
    if (next > attributeLength) break;  // the fields would run past the attribute
    DataRun run;
    run.clusterCount = ReadUnsigned(attribute + position + 1, lengthBytes) & 0xFFFFFFFFu;
    run.clusterDelta = ReadSigned(attribute + position + 1 + lengthBytes, offsetBytes);
    run.sparse = offsetBytes == 0;
    runs.push_back(run);
    position = next;
  }
  return runs;
}

std::vector<ClusterExtent> ToExtents(const std::vector<DataRun>& runs) {
  std::vector<ClusterExtent> extents;
  extents.reserve(runs.size());
  uint64_t cluster = 0;  // unsigned so that hostile sums wrap instead of overflowing
  for (const DataRun& run : runs) {
    if (!run.sparse) cluster += static_cast<uint64_t>(run.clusterDelta);
    extents.push_back({static_cast<int64_t>(cluster), run.clusterCount, run.sparse});
  }
  return extents;
}

uint64_t TotalClusters(const std::vector<ClusterExtent>& extents) {
  uint64_t total = 0;
  for (const ClusterExtent& extent : extents) total += extent.clusterCount;
  return total;
}
