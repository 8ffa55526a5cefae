#include "engines/recovery_layout.h"

#include "carving/type_lists.h"
#include "engines/safe_name.h"
#include "platform/platform.h"

namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Numbered candidates are tried up to this count before giving up.
constexpr uint32_t kMaxNumberedNames = 100000;

std::u16string EntryName(const FoundEntry& entry) {
  FoundEntry copy = entry;
  TerminateEntryName(copy);
  return platform::AnsiToWide(copy.name);
}

// A name below `folder`, numbered when it is taken.
WinError UniqueBelow(const std::u16string& folder, const std::u16string& name,
                     std::u16string* out) {
  std::u16string path;
  const WinError error = JoinSafeName(folder, name, &path);
  if (error != kErrorSuccess) return error;
  std::u16string unique = UniquePath(path);
  if (unique.empty()) return kErrorFilenameExcedRange;
  *out = unique;
  return kErrorSuccess;
}

}  // namespace

uint32_t CountSeparators(const std::u16string& path) {
  uint32_t count = 0;
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    if (path[i] == platform::kPathSeparator) ++count;
  }
  return count;
}

std::u16string UniquePath(const std::u16string& path) {
  if (!platform::PathExists(path)) return path;
  size_t nameStart = path.size();
  while (nameStart > 0 && !IsSeparator(path[nameStart - 1])) --nameStart;
  size_t dot = path.rfind(u'.');
  if (dot == std::u16string::npos || dot <= nameStart) dot = path.size();
  const std::u16string stem = path.substr(0, dot);
  const std::u16string extension = path.substr(dot);
  for (uint32_t n = 1; n <= kMaxNumberedNames; ++n) {
    std::u16string candidate = stem + u"(" + platform::Utf8ToUtf16(std::to_string(n)) + u")" +
                               extension;
    if (candidate.size() > kMaxRestorePathChars) break;
    if (!platform::PathExists(candidate)) return candidate;
  }
  return std::u16string();
}

WinError RecoveryDestination(const std::u16string& root, const FoundEntry& entry,
                             std::u16string* out) {
  FoundEntry copy = entry;
  TerminateEntryName(copy);
  const std::u16string kind = platform::AnsiToWide(ClassifyFileCategory(copy.name));
  return UniqueBelow(platform::JoinPath(root, kind), EntryName(copy), out);
}

WinError ChildDestination(const std::u16string& folder, const FoundEntry& child,
                          std::u16string* out) {
  return UniqueBelow(folder, EntryName(child), out);
}
