// An image file attached as a loop block device (Linux, root), so that the
// disk paths run on a real device; detached again on destruction. Shared by
// the sector-source tests and the copy benchmark.
#pragma once

#ifndef _WIN32

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

class LoopDevice {
 public:
  explicit LoopDevice(const std::string& image) {
    if (geteuid() != 0 || access("/dev/loop-control", F_OK) != 0) return;
    // Attachments are serialised: two free-device searches at once can pick
    // the same device.
    const std::string command =
        "flock /tmp/varnelle-loop.lock losetup -f --show '" + image + "' 2>/dev/null";
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char line[256] = {};
      if (std::fgets(line, sizeof line, pipe) != nullptr) device_ = line;
      pclose(pipe);
    }
    while (!device_.empty() && (device_.back() == '\n' || device_.back() == ' ')) {
      device_.pop_back();
    }
    setenv("VARNELLE_INCLUDE_LOOP", "1", 1);
  }
  ~LoopDevice() {
    if (holder_ >= 0) ::close(holder_);
    unsetenv("VARNELLE_INCLUDE_LOOP");
    if (!device_.empty()) (void)std::system(("losetup -d " + device_).c_str());
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  const std::string& Device() const { return device_; }

  // The device's physical disk number; -1 when it is not attached.
  int DiskNumber() const {
    const auto disks = platform::ListPhysicalDisks();
    for (size_t n = 0; n < disks.size(); ++n) {
      if (platform::Utf16ToUtf8(disks[n]) == device_) return static_cast<int>(n);
    }
    return -1;
  }

  // Linux drops a block device's cache when its last user closes it; held
  // open until destruction, the device keeps one cache state for every reader.
  void HoldOpen() {
    if (!device_.empty() && holder_ < 0) holder_ = ::open(device_.c_str(), O_RDONLY | O_CLOEXEC);
  }

 private:
  std::string device_;
  int holder_ = -1;
};

#endif  // !_WIN32
