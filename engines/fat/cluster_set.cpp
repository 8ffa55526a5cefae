#include "engines/fat/cluster_set.h"

bool ClusterSet::Contains(uint32_t cluster) const {
  auto next = runs_.upper_bound(cluster);
  if (next == runs_.begin()) return false;
  --next;
  return cluster <= next->second;
}

bool ClusterSet::Insert(uint32_t cluster) {
  if (Contains(cluster)) return false;
  auto next = runs_.upper_bound(cluster);
  const bool joinsNext = next != runs_.end() && cluster != UINT32_MAX && next->first == cluster + 1;
  if (next != runs_.begin()) {
    auto previous = std::prev(next);
    if (previous->second + 1 == cluster) {
      previous->second = joinsNext ? next->second : cluster;
      if (joinsNext) runs_.erase(next);
      return true;
    }
  }
  const uint32_t last = joinsNext ? next->second : cluster;
  if (joinsNext) runs_.erase(next);
  runs_[cluster] = last;
  return true;
}
