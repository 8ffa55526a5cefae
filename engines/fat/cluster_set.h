// A set of cluster numbers kept as runs, so that following a long, mostly
// contiguous chain costs memory by its fragments, not by its length. Used to
// end every chain and parent walk on the first cluster met twice.
#pragma once

#include <cstdint>
#include <iterator>
#include <map>

class ClusterSet {
 public:
  // Adds the cluster; false when it was there already.
  bool Insert(uint32_t cluster);
  bool Contains(uint32_t cluster) const;
  void Clear() { runs_.clear(); }

 private:
  std::map<uint32_t, uint32_t> runs_;  // first cluster -> last cluster of a run
};
