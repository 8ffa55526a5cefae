#include "carving/probe_dispatch.h"

#include <vector>

namespace {

// The table's distinct probes, in the order of their first row; a sector's
// candidate probes are a bit set over this order, so visiting the set bits
// from the lowest up keeps row order.
struct ProbeSlot {
  ProbeKind probe;
  size_t firstRow;
};

// For one anchor offset: which probes allow each value of the byte there
// and of the byte after it.
struct AnchorKey {
  size_t offset;
  uint64_t firstByte[256];
  uint64_t secondByte[256];
};

struct Dispatch {
  std::vector<ProbeSlot> slots;
  std::vector<AnchorKey> keys;
};

AnchorKey& KeyFor(std::vector<AnchorKey>& keys, size_t offset) {
  for (AnchorKey& key : keys) {
    if (key.offset == offset) return key;
  }
  keys.push_back(AnchorKey{offset, {}, {}});
  return keys.back();
}

void AddAnchor(std::vector<AnchorKey>& keys, const ProbeAnchor& anchor, uint64_t bit) {
  AnchorKey& key = KeyFor(keys, anchor.offset);
  key.firstByte[anchor.first] |= bit;
  if (anchor.second == kAnyByte) {
    for (uint64_t& mask : key.secondByte) mask |= bit;
  } else {
    key.secondByte[static_cast<uint8_t>(anchor.second)] |= bit;
  }
}

Dispatch BuildDispatch() {
  Dispatch dispatch;
  bool seen[kProbeCount] = {};
  const auto& rows = SignatureTable();
  for (size_t row = 0; row < kSignatureRowCount; ++row) {
    const size_t probe = static_cast<size_t>(rows[row].probe);
    if (seen[probe]) continue;
    seen[probe] = true;
    dispatch.slots.push_back({rows[row].probe, row});
  }
  static_assert(kProbeCount <= 64, "the candidate set is one 64-bit word");
  for (size_t slot = 0; slot < dispatch.slots.size(); ++slot) {
    const ProbeDescriptor& probe = DescribeProbe(dispatch.slots[slot].probe);
    for (size_t i = 0; i < probe.anchorCount; ++i)
      AddAnchor(dispatch.keys, probe.anchors[i], uint64_t{1} << slot);
  }
  return dispatch;
}

const Dispatch& TheDispatch() {
  static const Dispatch dispatch = BuildDispatch();
  return dispatch;
}

int LowestBit(uint64_t mask) { return __builtin_ctzll(mask); }

}  // namespace

RowMatch FindFirstMatchingRow(const uint8_t* sector, size_t length, CarveContext& context) {
  const Dispatch& dispatch = TheDispatch();
  uint64_t candidates = 0;
  for (const AnchorKey& key : dispatch.keys) {
    // Every anchored probe needs both anchor bytes.
    if (key.offset + 2 > length) continue;
    candidates |= key.firstByte[sector[key.offset]] & key.secondByte[sector[key.offset + 1]];
  }
  for (; candidates != 0; candidates &= candidates - 1) {
    const ProbeSlot& slot = dispatch.slots[static_cast<size_t>(LowestBit(candidates))];
    const uint32_t type = RunProbe(slot.probe, sector, length, context);
    if (type != kTypeNotRecognized) return {slot.firstRow, type};
  }
  return {};
}

RowMatch FindFirstMatchingRowSlow(const uint8_t* sector, size_t length, CarveContext& context) {
  const auto& rows = SignatureTable();
  for (size_t row = 0; row < kSignatureRowCount; ++row) {
    const uint32_t type = RunProbe(rows[row].probe, sector, length, context);
    if (type != kTypeNotRecognized) return {row, type};
  }
  return {};
}
