// Owns one open file or device handle and closes it when it goes out of scope.
#pragma once

#include "platform/platform.h"

class ScopedFile {
 public:
  ScopedFile() = default;
  explicit ScopedFile(platform::FileHandle handle) : handle_(handle) {}
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  ~ScopedFile() { Close(); }

  platform::FileHandle get() const { return handle_; }
  bool IsOpen() const { return handle_ != platform::kInvalidHandle; }
  // Where an open call stores the new handle; closes the one held before.
  platform::FileHandle* Receive() {
    Close();
    return &handle_;
  }
  void Close() {
    if (IsOpen()) platform::CloseFile(handle_);
    handle_ = platform::kInvalidHandle;
  }

 private:
  platform::FileHandle handle_ = platform::kInvalidHandle;
};
