// Where recovered files go: one folder per kind of file below the recovery
// root, the entry's name made safe, and a numbered name when it is taken.
// Portable; the GUI's recovery window and the command line both use it.
#pragma once

#include <cstdint>
#include <string>

#include "engines/found_entry.h"
#include "platform/win32_errors.h"

// The number of separators among all characters of `path` but the last.
uint32_t CountSeparators(const std::u16string& path);

// `path` itself when nothing exists there; otherwise "base(n).ext" in the
// same folder for the first n = 1, 2, ... that is free. Empty when no free
// name fits kMaxRestorePathChars.
std::u16string UniquePath(const std::u16string& path);

// The destination of a found file or folder below `root`:
// root / ClassifyFileCategory(name) / safe name, numbered when taken.
// 87 when the path would leave the root, 206 when it is too long.
WinError RecoveryDestination(const std::u16string& root, const FoundEntry& entry,
                             std::u16string* out);

// A child's destination inside a restored folder: folder / safe name,
// numbered when taken (the same errors).
WinError ChildDestination(const std::u16string& folder, const FoundEntry& child,
                          std::u16string* out);
