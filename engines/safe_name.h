// Turning names read from a disk into file and folder names that are safe to
// create below a chosen destination folder.
#pragma once

#include <string>

#include "platform/win32_errors.h"

// Longest destination path a restoration creates, in UTF-16 code units.
constexpr size_t kMaxRestorePathChars = 520;

// One path component made from a name found on disk: control characters and
// \ / : * ? " < > | become "_", trailing dots and spaces become "_", an empty,
// "." or ".." name becomes "_", and a reserved device name (CON, PRN, AUX,
// NUL, COM1-9, LPT1-9, with any extension) gets a leading "_". The result can
// never name a parent folder, a drive, a stream or a device.
std::u16string MakeSafeName(const std::u16string& name);

// True when `path` lies strictly below `folder` (it starts with the folder
// and a separator, and no component of the rest is "." or "..").
bool IsPathBelow(const std::u16string& folder, const std::u16string& path);

// folder + separator + MakeSafeName(name), checked to stay below `folder`
// (87 otherwise) and to fit kMaxRestorePathChars (206 otherwise).
WinError JoinSafeName(const std::u16string& folder, const std::u16string& name,
                      std::u16string* out);
