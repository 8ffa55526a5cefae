#include "engines/restore.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <set>

#include "carving/type_lists.h"
#include "engines/recovery_layout.h"
#include "engines/safe_name.h"
#include "scanlog/scan_history.h"

namespace {

constexpr size_t kPreviewPathChars = 260;

bool FolderCreatedOrThere(WinError error) {
  return error == kErrorSuccess || error == kErrorFileExists || error == kErrorAlreadyExists;
}

std::u16string EntryNameWide(const FoundEntry& entry) {
  FoundEntry copy = entry;
  TerminateEntryName(copy);
  return platform::AnsiToWide(copy.name);
}

int32_t Percent(uint64_t done, uint64_t total) {
  return total == 0 ? 100 : static_cast<int32_t>(done * 100 / total);
}

// One folder waiting to have its children restored.
struct PendingFolder {
  FoundEntry entry;
  std::u16string path;
  uint32_t level;
};

uint32_t KeyLevelOf(IRestoreSource& source, const FoundEntry& folder, uint32_t fallback) {
  uint32_t level = 0;
  return source.FolderKeyLevel(folder, &level) ? level : fallback;
}

// Restores one child of a folder being restored; a child folder is created
// and queued.
WinError RestoreChild(IRestoreSource& source, const PendingFolder& parent,
                      const FoundEntry& child, const FileProgress& progress,
                      std::deque<PendingFolder>* queue, std::set<uint32_t>* folders) {
  // A corrupt tree may name a folder inside itself: each folder is restored once.
  if (child.isFolder && !folders->insert(+child.id).second) return kErrorSuccess;
  std::u16string path;
  WinError error = ChildDestination(parent.path, child, &path);
  if (error != kErrorSuccess) {
    progress.Report(100, error, platform::JoinPath(parent.path, MakeSafeName(EntryNameWide(child))));
    return error;
  }
  if (child.isFolder == 0) return RestoreOneFile(source, child, path, progress);
  error = platform::CreateFolder(path);
  if (!FolderCreatedOrThere(error)) {
    progress.Report(100, error, path);
    return error;
  }
  queue->push_back({child, path, KeyLevelOf(source, child, parent.level + 1)});
  return kErrorSuccess;
}

WinError RestoreFolder(IRestoreSource& source, const FoundEntry& folder,
                       const std::u16string& destination, uint32_t rootLevel,
                       const FileProgress& progress) {
  const uint32_t separators = CountSeparators(destination);
  const uint32_t derived = separators > rootLevel ? separators - rootLevel : 0;
  std::deque<PendingFolder> queue;
  queue.push_back({folder, destination, KeyLevelOf(source, folder, derived)});
  std::set<uint32_t> folders = {+folder.id};
  WinError last = kErrorSuccess;
  while (!queue.empty()) {
    const PendingFolder item = queue.front();
    queue.pop_front();
    std::vector<FoundEntry> children;
    const WinError listError = source.ListFolderChildren(item.entry, item.level, &children);
    if (listError != kErrorSuccess) {
      last = listError;
      continue;
    }
    for (const FoundEntry& child : children) {
      last = RestoreChild(source, item, child, progress, &queue, &folders);
      if (last == ScanCancelled) return last;
    }
  }
  return last;
}

}  // namespace

int32_t FileProgress::Report(int32_t percent, WinError error, const std::u16string& path) const {
  return fn ? fn(userData, percent, 100, error, path.c_str()) : 0;
}

FileSink::~FileSink() { Close(); }

WinError FileSink::Create(const std::u16string& path, bool hidden) {
  Close();
  return platform::OpenFile(path, platform::Access::ReadWrite,
                            platform::Disposition::CreateAlways, &handle_, hidden);
}

WinError FileSink::Write(const uint8_t* data, uint32_t bytes) {
  while (bytes > 0) {
    uint32_t written = 0;
    const WinError error = platform::WriteSome(handle_, data, bytes, &written);
    if (error != kErrorSuccess) return error;
    if (written == 0) return kErrorWriteFault;
    data += written;
    bytes -= written;
  }
  return kErrorSuccess;
}

void FileSink::Close() {
  if (handle_ != platform::kInvalidHandle) platform::CloseFile(handle_);
  handle_ = platform::kInvalidHandle;
}

WinError MemorySink::Write(const uint8_t* data, uint32_t bytes) {
  const uint32_t room = capacity_ - used_;
  const uint32_t take = std::min(room, bytes);
  if (take > 0) std::memcpy(buffer_ + used_, data, take);
  used_ += take;
  return take == bytes ? kErrorSuccess : kErrorInvalidParameter;
}

WinError RestoreOneFile(IRestoreSource& source, const FoundEntry& file,
                        const std::u16string& path, const FileProgress& progress) {
  FileSink sink;
  WinError result = sink.Create(path);
  if (result == kErrorSuccess) {
    if (file.size == 0) {
      progress.Report(100, kErrorSuccess, path);
      return kErrorSuccess;
    }
    result = source.CopyFileData(file, file.size, sink, [&](uint64_t done) {
      return progress.Report(Percent(done, file.size), kErrorSuccess, path);
    });
  }
  if (result > 0) progress.Report(100, result, path);
  return result;
}

WinError RestoreEntry(IRestoreSource& source, const FoundEntry* entry,
                      const std::u16string& destination, uint32_t rootLevel,
                      const FileProgress& progress) {
  if (entry == nullptr) return kErrorInvalidParameter;
  const std::u16string folder =
      entry->isFolder ? destination : platform::ParentFolder(destination);
  const WinError error = folder.empty() ? kErrorSuccess : platform::CreateFolderTree(folder);
  if (!FolderCreatedOrThere(error)) {
    progress.Report(100, error, destination);
    return error;
  }
  if (entry->isFolder == 0) return RestoreOneFile(source, *entry, destination, progress);
  return RestoreFolder(source, *entry, destination, rootLevel, progress);
}

namespace {

enum class PreviewKind { Memory, Picture, Media };

PreviewKind PreviewKindOf(const FoundEntry& entry) {
  FoundEntry copy = entry;
  TerminateEntryName(copy);
  if (!NameHasExtensionDot(copy.name)) return PreviewKind::Memory;
  const std::string extension = NameExtension(copy.name);
  if (MatchesTypeList(extension, TypeList::Audio) || MatchesTypeList(extension, TypeList::Video)) {
    return PreviewKind::Media;
  }
  if (MatchesTypeList(extension, TypeList::Photo)) return PreviewKind::Picture;
  return PreviewKind::Memory;
}

// The preview file of a kind; empty when it cannot be had (the copy then
// goes to memory).
std::u16string PreviewFilePath(PreviewKind kind) {
  const std::u16string folder = GetScanHistory().HistoryRoot();
  if (!FolderCreatedOrThere(platform::CreateFolderTree(folder))) return std::u16string();
  const std::u16string path =
      platform::JoinPath(folder, kind == PreviewKind::Media ? u"tmp.avi" : u"tmp.jpg");
  return path.size() < kPreviewPathChars ? path : std::u16string();
}

}  // namespace

WinError ExtractEntryForPreview(IRestoreSource& source, const FoundEntry* entry,
                                char16_t* outPath, uint8_t* memory, uint32_t* byteCount,
                                PreviewProgressFn progress, void* userData) {
  if (entry == nullptr || byteCount == nullptr) return kErrorInvalidParameter;
  auto report = [&](int32_t percent, WinError error) {
    return progress ? progress(userData, percent, error) : 0;
  };
  const PreviewKind kind = PreviewKindOf(*entry);
  const std::u16string previewPath =
      kind == PreviewKind::Memory ? std::u16string() : PreviewFilePath(kind);
  FileSink fileSink;
  MemorySink memorySink(memory, memory ? *byteCount : 0);
  IDataSink* sink = &memorySink;
  const uint64_t size = entry->size;  // a packed field: copied before use
  uint64_t toCopy = std::min<uint64_t>(size, memory ? *byteCount : 0);
  if (!previewPath.empty()) {
    if (outPath) {
      std::copy(previewPath.begin(), previewPath.end(), outPath);
      outPath[previewPath.size()] = 0;
    }
    platform::DeleteFile(previewPath);
    const WinError error = fileSink.Create(previewPath, true);
    if (error != kErrorSuccess) {
      report(100, error);
      return error;
    }
    sink = &fileSink;
    toCopy = entry->size;
  }
  WinError result = kErrorSuccess;
  if (toCopy == 0) {
    report(100, kErrorSuccess);
  } else {
    result = source.CopyFileData(*entry, toCopy, *sink, [&](uint64_t done) {
      return report(Percent(done, toCopy), kErrorSuccess);
    });
    if (result > 0) report(100, result);
  }
  fileSink.Close();
  if (!previewPath.empty() && result != kErrorSuccess) platform::DeleteFile(previewPath);
  *byteCount = previewPath.empty() ? memorySink.Used() : 0;
  return result;
}
