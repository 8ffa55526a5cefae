#include "scanlog/log_io.h"

namespace logio {

WinError WriteAll(WriteFn write, platform::FileHandle handle, const void* buffer, uint32_t bytes,
                  uint32_t* written) {
  const auto* bytesLeft = static_cast<const uint8_t*>(buffer);
  *written = 0;
  while (*written < bytes) {
    uint32_t done = 0;
    const WinError error = write(handle, bytesLeft + *written, bytes - *written, &done);
    if (error != kErrorSuccess) return error;
    if (done == 0) return kErrorWriteFault;
    *written += done;
  }
  return kErrorSuccess;
}

}  // namespace logio
