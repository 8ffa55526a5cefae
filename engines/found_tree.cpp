#include "engines/found_tree.h"

#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace {

struct FolderFrame {
  std::vector<FoundEntry> children;
  size_t next = 0;
  uint32_t level = 0;  // the listed folder's level: 0 for the root
  std::u16string path;
};

std::u16string EntryName(const FoundEntry& entry) {
  return platform::AnsiToWide(std::string(entry.name, strnlen(entry.name, sizeof entry.name)));
}

}  // namespace

WinError WalkFoundTree(IFileRecoveryParse& engine, const FoundTreeVisitor& visit) {
  std::vector<FolderFrame> stack(1);
  WinError listed = engine.ListFolder(nullptr, 0, &stack.back().children);
  if (listed != kErrorSuccess) return listed;
  while (!stack.empty()) {
    FolderFrame& frame = stack.back();
    if (frame.next >= frame.children.size()) {
      stack.pop_back();
      continue;
    }
    const FoundEntry& entry = frame.children[frame.next++];
    FoundTreeItem item;
    item.entry = &entry;
    item.depth = frame.level;
    item.folderPath = &frame.path;
    if (!visit(item)) return kErrorSuccess;
    if (entry.isFolder == 0 || entry.id == 0 || frame.level + 1 >= kMaxWalkDepth) continue;
    FolderFrame child;
    child.level = frame.level + 1;
    child.path = frame.path + EntryName(entry) + u'\\';
    listed = engine.ListFolder(&entry, child.level, &child.children);
    if (listed != kErrorSuccess) return listed;
    stack.push_back(std::move(child));  // `frame` and `entry` are not used after this
  }
  return kErrorSuccess;
}

std::u16string SearchPathPrefix(uint16_t volumeTag) {
  if (volumeTag >= 1000) return u"\\";
  const bool letter = (volumeTag >= u'A' && volumeTag <= u'Z') || (volumeTag >= u'a' && volumeTag <= u'z');
  std::u16string prefix;
  if (letter) {
    prefix += static_cast<char16_t>(volumeTag);
  } else {
    for (char c : std::to_string(volumeTag)) prefix += static_cast<char16_t>(c);
  }
  return prefix + u":\\";
}
