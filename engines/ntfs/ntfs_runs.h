// Decoding of NTFS run lists (the mapping pairs of a non-resident attribute)
// and their turning into absolute cluster extents.
#pragma once

#include <cstdint>
#include <vector>

// One decoded run, as the list stores it.
struct DataRun {
  uint64_t clusterCount = 0;  // only the low 32 bits of the length field are kept
  int64_t clusterDelta = 0;   // start relative to the previous run's start (0 when sparse)
  bool sparse = false;        // no offset field: the run's clusters read as zeros
};

// One run with its absolute first cluster. firstCluster is signed because a
// hostile list can sum to a negative value; readers refuse such extents.
struct ClusterExtent {
  int64_t firstCluster = 0;
  uint64_t clusterCount = 0;
  bool sparse = false;
};

// Decodes the run list of the non-resident attribute `attribute` of
// `attributeLength` bytes (the attribute's own length field, already checked
// against its record). Nothing is decoded when the attribute is as long as
// `sectorBytes` or longer, or when the list offset (+0x20) lies outside it.
// Each run's header, length and offset fields must lie inside the attribute;
// a run that does not ends the list. Field sizes above 7 bytes end it too.
std::vector<DataRun> DecodeRunList(const uint8_t* attribute, uint32_t attributeLength,
                                   uint32_t sectorBytes);

// Accumulates the deltas into absolute extents; sparse runs do not move the
// running cluster.
std::vector<ClusterExtent> ToExtents(const std::vector<DataRun>& runs);

// The sum of the run lengths, in clusters.
uint64_t TotalClusters(const std::vector<ClusterExtent>& extents);
