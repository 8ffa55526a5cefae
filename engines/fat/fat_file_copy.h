// Copying a FAT file's data cluster by cluster. A live chain is followed to
// its end; a free (zeroed) entry, as a deleted file leaves it, means the data
// goes on in the next free cluster: clusters in use by other files are
// stepped over. Without a FAT the data is read as consecutive clusters.
#pragma once

#include <cstdint>

#include "engines/fat/fat_table.h"
#include "engines/found_entry.h"
#include "engines/restore.h"
#include "storage/sector_source.h"

// Cluster sizes above this cannot be real (error 29).
constexpr int64_t kMaxClusterBytes = 104857600;

struct FatCopySource {
  const SectorSource* source = nullptr;
  uint32_t bytesPerSector = 512;
  CFatTable* fat = nullptr;       // null: consecutive clusters
  uint32_t lastCluster = 0;       // highest data cluster
};

// Copies min(size, byteLimit) bytes of `file` into `sink`. 38 when the data
// ends before that (the chain ends, loops, or no free cluster is left), with
// what was found kept; 29 for an impossible cluster size; read and write
// errors as they come; a non-zero step answer stops the copy.
WinError CopyFatFileData(const FatCopySource& from, const FoundEntry& file, uint64_t byteLimit,
                         IDataSink& sink, const CopyStepFn& step);
