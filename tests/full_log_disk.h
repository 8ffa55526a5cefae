// A scan log whose disk is full: its write buffer is already filled with
// placeholder records and every write fails with 112, so the next record
// appended is refused. Engine tests put it in through their log hook to
// prove a refused record stops the scan with the error.
#pragma once

#include "platform/win32_errors.h"
#include "scanlog/scan_log.h"

namespace test_support {

struct FullLogDisk {
  static inline int writes = 0;

  static WinError Write(platform::FileHandle, const void*, uint32_t, uint32_t* done) {
    ++writes;
    *done = 0;
    return kErrorDiskFull;
  }

  static void Prepare(CScanLog& log) {
    writes = 0;
    log.SetWriteFunction(Write);
    for (uint32_t i = 0; i < kLogBufferRecords; ++i) log.AppendRecord(MakeEmptyEntry());
  }
};

}  // namespace test_support
