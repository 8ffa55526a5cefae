// Folder helpers built on the OS layer's single-folder calls, the same on
// every platform.
#include "platform/platform.h"

namespace platform {

WinError CreateFolderTree(const std::u16string& path) {
  if (path.empty()) return kErrorInvalidParameter;
  if (IsFolder(path)) return kErrorAlreadyExists;
  const std::u16string parent = ParentFolder(path);
  if (!parent.empty() && parent != path && !IsFolder(parent)) {
    const WinError error = CreateFolderTree(parent);
    if (error != kErrorSuccess && error != kErrorAlreadyExists) return error;
  }
  return CreateFolder(path);
}

}  // namespace platform
