// Copying found files out: a file to a path, a folder with everything below
// it, or a file into a preview file or the caller's memory. The engines only
// say where a file's data lies (IRestoreSource); the rest is common.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engines/engine_contract.h"
#include "engines/found_entry.h"
#include "platform/platform.h"

// Receives the bytes of a file being copied out, in order.
class IDataSink {
 public:
  virtual ~IDataSink() = default;
  virtual WinError Write(const uint8_t* data, uint32_t bytes) = 0;
};

// Called after every chunk with the bytes copied so far; a non-zero answer
// stops the copy and becomes its result.
using CopyStepFn = std::function<int32_t(uint64_t bytesDone)>;

// What an engine offers the common restoration.
class IRestoreSource {
 public:
  virtual ~IRestoreSource() = default;
  // Copies the first `byteLimit` bytes of a found file (never more than its
  // size) into `sink`. A file whose data ends early keeps what was copied and
  // returns 38 (ERROR_HANDLE_EOF).
  virtual WinError CopyFileData(const FoundEntry& file, uint64_t byteLimit, IDataSink& sink,
                                const CopyStepFn& step) = 0;
  // The children of a found folder whose key level is `level`, files first.
  virtual WinError ListFolderChildren(const FoundEntry& folder, uint32_t level,
                                      std::vector<FoundEntry>* out) = 0;
  // The key level of a found folder's children, when the engine can tell it
  // from the volume (false: the caller derives it from the destination).
  virtual bool FolderKeyLevel(const FoundEntry& folder, uint32_t* level) = 0;
};

// The FileProgressFn set by SetCallbacks, with its user data.
struct FileProgress {
  FileProgressFn fn = nullptr;
  void* userData = nullptr;
  // Reports (percent, 100, error, path); 0 without a callback.
  int32_t Report(int32_t percent, WinError error, const std::u16string& path) const;
};

// Writes into a new file; whatever the path held before is gone.
class FileSink : public IDataSink {
 public:
  FileSink() = default;
  ~FileSink() override;
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;
  WinError Create(const std::u16string& path, bool hidden = false);
  WinError Write(const uint8_t* data, uint32_t bytes) override;
  void Close();

 private:
  platform::FileHandle handle_ = platform::kInvalidHandle;
};

// Writes into the caller's buffer, never past its capacity.
class MemorySink : public IDataSink {
 public:
  MemorySink(uint8_t* buffer, uint32_t capacity) : buffer_(buffer), capacity_(capacity) {}
  WinError Write(const uint8_t* data, uint32_t bytes) override;
  uint32_t Used() const { return used_; }

 private:
  uint8_t* buffer_;
  uint32_t capacity_;
  uint32_t used_ = 0;
};

// Copies one file to `path` (a new file), reporting each chunk and, for an
// error, a final (100, error). A zero-length file is created empty.
WinError RestoreOneFile(IRestoreSource& source, const FoundEntry& file,
                        const std::u16string& path, const FileProgress& progress);

// The engine operation Restore: a file to `destination` (its full path), or a
// folder and everything below it into `destination` (the folder's own path).
// Children get safe, numbered names; a child whose path would leave its
// folder (87) or be too long (206) is reported and skipped. `rootLevel` is
// CountSeparators of the recovery root; it only matters when the engine
// cannot tell a folder's level itself.
WinError RestoreEntry(IRestoreSource& source, const FoundEntry* entry,
                      const std::u16string& destination, uint32_t rootLevel,
                      const FileProgress& progress);

// The engine operation ExtractForPreview: photos go to "tmp.jpg", audio and
// video to "tmp.avi" (hidden, in the scan-log folder, path written to
// `outPath`, 260 code units); anything else into `memory` up to *byteCount.
// A failed or cancelled preview file is deleted; *byteCount receives the
// bytes copied to memory (0 in file mode).
WinError ExtractEntryForPreview(IRestoreSource& source, const FoundEntry* entry,
                                char16_t* outPath, uint8_t* memory, uint32_t* byteCount,
                                PreviewProgressFn progress, void* userData);
