// The small interface through which the scan, search and recovery jobs report
// to a front end. The GUI's progress windows and the command line's progress
// bar are two implementations of it; the jobs themselves know neither.
//
// Every call comes from the thread that runs the job. An observer that shares
// state with another thread (a window's cancel button) guards it itself.
#pragma once

#include <cstdint>
#include <string>

#include "engines/found_entry.h"
#include "platform/win32_errors.h"

enum class JobKind { Scan, Search, Recovery };

// Which source a job is working on now.
struct JobStage {
  JobKind kind = JobKind::Scan;
  size_t targetIndex = 0;  // 0-based position in the job's list of targets
  size_t targetCount = 0;
  bool isVolume = false;   // a volume of a physical disk; otherwise an image path
  uint16_t tag = 0;        // a volume's drive letter or number, an image's tag
  std::u16string imageName;  // the image's file name (after the last separator)
};

// One progress report. Scan reports fill the sector and file counts as the
// engine gives them; recovery reports fill the file counters.
struct JobProgress {
  int32_t percent = 0;       // progress x weight / 100
  int32_t weight = 100;      // the share of the bar the reporting part owns
  int32_t secondsLeft = -1;  // < 0: no estimate
  uint64_t currentSector = 0;
  uint64_t totalSectors = 0;  // 0: no sector counts to show
  uint64_t filesFound = 0;
  // Recovery: the file being written and the counters of the whole job.
  const char16_t* currentPath = nullptr;
  uint32_t filesDone = 0;
  uint32_t filesFailed = 0;
  uint32_t filesTotal = 0;
};

// The end of one restored file: its destination and its Win32 result
// (0 = success). `entry` is the selected entry being restored (for a folder,
// the folder), or null when the outcome does not belong to one.
struct FileOutcome {
  std::u16string path;
  WinError error = kErrorSuccess;
  const FoundEntry* entry = nullptr;
};

class IJobObserver {
 public:
  virtual ~IJobObserver() = default;
  virtual void OnStage(const JobStage& stage) { (void)stage; }
  virtual void OnProgress(const JobProgress& progress) { (void)progress; }
  virtual void OnFileOutcome(const FileOutcome& outcome) { (void)outcome; }
  // Polled at every engine report; true makes the engine stop with ScanCancelled.
  virtual bool IsCancelRequested() { return false; }
};
