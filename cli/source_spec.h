// Turning the SOURCE operand into a scan target: an image file, a Linux block
// device (opened like an image), "PhysicalDriveN" / "\\.\PhysicalDriveN" for
// physical disk N as platform::PhysicalDiskPath numbers it, and on Windows a
// drive letter "E:" (the volume device "\\.\E:").
#pragma once

#include <string>

#include "engines/scan_job.h"

// The tag of the command line's image targets (the first image number).
constexpr uint16_t kCliImageTag = 1000;

// Fills `target` (image-like: imagePath and tag). False with a message when
// the source names no disk, does not exist or is a folder.
bool ResolveSource(const std::string& text, ScanTarget* target, std::string* error);

// The physical disk number named by "PhysicalDriveN" or "\\.\PhysicalDriveN"
// (any case); false for anything else.
bool ParsePhysicalDriveName(const std::string& text, uint32_t* number);
