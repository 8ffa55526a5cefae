#include "engines/fat/fat_file_copy.h"

#include <algorithm>
#include <vector>

#include "engines/fat/cluster_set.h"

namespace {

// The first free cluster after `cluster`, or 0 when none is left.
uint32_t NextFreeCluster(CFatTable& fat, uint32_t cluster, uint32_t lastCluster,
                         const ClusterSet& seen) {
  for (uint64_t candidate = uint64_t(cluster) + 1; candidate <= lastCluster; ++candidate) {
    if (seen.Contains(static_cast<uint32_t>(candidate))) continue;
    uint32_t value = 0;
    if (fat.GetFatEntry(static_cast<uint32_t>(candidate), &value) != kErrorSuccess) return 0;
    if (value == 0) return static_cast<uint32_t>(candidate);
  }
  return 0;
}

// Where the data goes on after `cluster`; 0 when it ends.
uint32_t NextDataCluster(const FatCopySource& from, uint32_t cluster, const ClusterSet& seen) {
  if (from.fat == nullptr) return cluster < from.lastCluster ? cluster + 1 : 0;
  uint32_t value = 0;
  if (from.fat->GetFatEntry(cluster, &value) != kErrorSuccess) return 0;
  if (value == 0) return NextFreeCluster(*from.fat, cluster, from.lastCluster, seen);
  const uint32_t next = from.fat->Geometry().ChainSuccessor(value);
  return seen.Contains(next) ? 0 : next;
}

}  // namespace

WinError CopyFatFileData(const FatCopySource& from, const FoundEntry& file, uint64_t byteLimit,
                         IDataSink& sink, const CopyStepFn& step) {
  const int64_t clusterBytes = file.clusterBytes;
  if (clusterBytes <= 0 || clusterBytes > kMaxClusterBytes ||
      clusterBytes % from.bytesPerSector != 0) {
    return kErrorWriteFault;
  }
  const uint32_t sectorsPerCluster = static_cast<uint32_t>(clusterBytes / from.bytesPerSector);
  const uint64_t size = file.size;  // a packed field: copied before use
  uint64_t remaining = std::min(size, byteLimit);
  uint64_t done = 0;
  uint32_t cluster = file.id;
  // Cluster numbers below 2 name no data (the area before the data area).
  if (cluster < 2 || cluster > from.lastCluster) return remaining == 0 ? 0 : kErrorHandleEof;
  std::vector<uint8_t> buffer(static_cast<size_t>(clusterBytes));
  ClusterSet seen;
  while (remaining > 0) {
    seen.Insert(cluster);
    const uint64_t sector =
        uint64_t(cluster - 2) * sectorsPerCluster + file.volumeStart + file.dataAreaStart;
    uint32_t got = 0;
    const WinError readError =
        ReadSectors(*from.source, buffer.data(), sector, sectorsPerCluster, from.bytesPerSector, &got);
    if (got == 0) return readError != kErrorSuccess ? readError : kErrorReadFault;
    const uint32_t take =
        static_cast<uint32_t>(std::min<uint64_t>(uint64_t(got) * from.bytesPerSector, remaining));
    const WinError writeError = sink.Write(buffer.data(), take);
    if (writeError != kErrorSuccess) return writeError;
    remaining -= take;
    done += take;
    const int32_t answer = step ? step(done) : 0;
    if (answer != 0) return answer;
    if (remaining == 0) break;
    if (readError != kErrorSuccess) return readError;
    if (got < sectorsPerCluster) return kErrorHandleEof;
    cluster = NextDataCluster(from, cluster, seen);
    if (cluster == 0) return kErrorHandleEof;
  }
  return kErrorSuccess;
}
