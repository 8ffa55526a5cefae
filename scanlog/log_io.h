// Whole-buffer writes shared by the scan log and the scan history.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace logio {

// One system write, as platform::WriteSome.
using WriteFn = WinError (*)(platform::FileHandle handle, const void* buffer, uint32_t bytes,
                             uint32_t* done);

// Writes `bytes` from `buffer`, continuing after partial writes. 0 when all
// arrived; otherwise the system error (29 for a write that moves nothing).
// *written tells how many bytes did reach the file either way.
WinError WriteAll(WriteFn write, platform::FileHandle handle, const void* buffer, uint32_t bytes,
                  uint32_t* written);

}  // namespace logio
