// The first step of identification, run on every free sector of a deep
// scan: the first row of the signature table, in row order, whose probe
// recognises the sector.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/carve_context.h"
#include "carving/signature_table.h"

struct RowMatch {
  size_t row = kNoRow;                // the first row whose probe recognised the sector
  uint32_t type = kTypeNotRecognized;  // what that probe answered
};

// Fast form: only the probes whose anchor bytes occur in the sector run, in
// the order of their first row. Gives exactly what the row-by-row walk gives.
RowMatch FindFirstMatchingRow(const uint8_t* sector, size_t length, CarveContext& context);

// Reference form: every row's probe in row order until one recognises.
RowMatch FindFirstMatchingRowSlow(const uint8_t* sector, size_t length, CarveContext& context);
