// Path helpers that need no system call.
#include "platform/platform.h"

namespace platform {

namespace {
bool IsSeparator(char16_t c) {
#ifdef _WIN32
  return c == u'\\' || c == u'/';
#else
  return c == u'/';
#endif
}
}  // namespace

std::u16string JoinPath(const std::u16string& folder, const std::u16string& name) {
  if (folder.empty()) return name;
  std::u16string out = folder;
  while (!out.empty() && IsSeparator(out.back()) && out.size() > 1) out.pop_back();
  size_t start = 0;
  while (start < name.size() && IsSeparator(name[start])) ++start;
  if (!IsSeparator(out.back())) out += kPathSeparator;
  out.append(name, start, std::u16string::npos);
  return out;
}

std::u16string ParentFolder(const std::u16string& path) {
  size_t end = path.size();
  while (end > 1 && IsSeparator(path[end - 1])) --end;
  while (end > 0 && !IsSeparator(path[end - 1])) --end;
  if (end == 0) return std::u16string();
  // Keep the root separator ("/" or "C:\") but drop any other trailing one.
  size_t keep = end;
  while (keep > 1 && IsSeparator(path[keep - 1]) && !(keep == 3 && path[1] == u':')) --keep;
  return path.substr(0, keep);
}

}  // namespace platform
