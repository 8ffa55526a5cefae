#include "engines/safe_name.h"

#include "platform/platform.h"

namespace {

bool IsForbiddenChar(char16_t c) {
  if (c < 0x20) return true;
  switch (c) {
    case u'\\': case u'/': case u':': case u'*': case u'?':
    case u'"': case u'<': case u'>': case u'|':
      return true;
    default:
      return false;
  }
}

bool IsAnySeparator(char16_t c) { return c == u'\\' || c == u'/'; }

char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

// The part of the name that Windows compares with the device names: up to
// the first dot, without trailing spaces.
std::u16string DeviceStem(const std::u16string& name) {
  std::u16string stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.pop_back();
  for (char16_t& c : stem) c = AsciiUpper(c);
  return stem;
}

bool IsReservedDeviceName(const std::u16string& name) {
  const std::u16string stem = DeviceStem(name);
  if (stem == u"CON" || stem == u"PRN" || stem == u"AUX" || stem == u"NUL") return true;
  if (stem.size() == 4 && (stem.compare(0, 3, u"COM") == 0 || stem.compare(0, 3, u"LPT") == 0)) {
    return stem[3] >= u'1' && stem[3] <= u'9';
  }
  return false;
}

}  // namespace

std::u16string MakeSafeName(const std::u16string& name) {
  if (name.empty() || name == u"." || name == u"..") return u"_";
  std::u16string safe = name;
  for (char16_t& c : safe) {
    if (IsForbiddenChar(c)) c = u'_';
  }
  for (size_t i = safe.size(); i > 0 && (safe[i - 1] == u'.' || safe[i - 1] == u' '); --i) {
    safe[i - 1] = u'_';
  }
  if (IsReservedDeviceName(safe)) safe.insert(safe.begin(), u'_');
  return safe;
}

bool IsPathBelow(const std::u16string& folder, const std::u16string& path) {
  std::u16string prefix = folder;
  if (prefix.empty() || !IsAnySeparator(prefix.back())) prefix += platform::kPathSeparator;
  if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return false;
  size_t start = prefix.size();
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsAnySeparator(path[end])) ++end;
    const std::u16string part = path.substr(start, end - start);
    if (part.empty() || part == u"." || part == u"..") return false;
    start = end + 1;
  }
  return true;
}

WinError JoinSafeName(const std::u16string& folder, const std::u16string& name,
                      std::u16string* out) {
  const std::u16string path = platform::JoinPath(folder, MakeSafeName(name));
  if (!IsPathBelow(folder, path)) return kErrorInvalidParameter;
  if (path.size() > kMaxRestorePathChars) return kErrorFilenameExcedRange;
  *out = path;
  return kErrorSuccess;
}
