#include "engines/found_entry.h"

#include <cstring>

#include "platform/platform.h"

FoundEntry MakeEmptyEntry() {
  FoundEntry entry;
  std::memset(&entry, 0, sizeof entry);
  return entry;
}

void SetEntryNameAnsi(FoundEntry& entry, const std::string& name) {
  size_t used = 0;
  while (used < name.size()) {
    const size_t length = platform::AnsiCharLength(name.data() + used, name.size() - used);
    if (length == 0 || used + length > kFoundEntryNameBytes - 1) break;
    used += length;
  }
  std::memcpy(entry.name, name.data(), used);
  std::memset(entry.name + used, 0, kFoundEntryNameBytes - used);
}

void SetEntryName(FoundEntry& entry, const std::u16string& name) {
  SetEntryNameAnsi(entry, platform::WideToAnsi(name));
}
