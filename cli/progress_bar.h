// The command line's observer of the jobs: a one-line progress bar on a
// terminal (percent, files, time left), and the cancel request of Ctrl-C.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engines/job_observer.h"

// What one drawn line shows.
struct ProgressView {
  std::string label;      // "scanning card.img", "recovering"
  int32_t percent = 0;    // clamped to 0..100 when drawn
  std::string counts;     // "12 files found", "3 of 10 files"
  int32_t secondsLeft = -1;
};

// "0:07", "12:30", "1:02:03".
std::string FormatDuration(int64_t seconds);
// One line of at most `columns` characters: label, bar, percent, counts, time left.
std::string FormatProgressLine(const ProgressView& view, int columns);

class CProgressBar : public IJobObserver {
 public:
  // Draws on `stream` only when `draw` is set (the stream is a terminal).
  CProgressBar(std::FILE* stream, bool draw);
  ~CProgressBar() override;
  CProgressBar(const CProgressBar&) = delete;
  CProgressBar& operator=(const CProgressBar&) = delete;

  void OnStage(const JobStage& stage) override;
  void OnProgress(const JobProgress& progress) override;
  bool IsCancelRequested() override;
  // Removes the line (before other output, and at the end).
  void Clear();

 private:
  int32_t EstimateSecondsLeft(int32_t percent) const;
  void Draw();

  std::FILE* stream_;
  bool draw_;
  bool drawn_ = false;
  ProgressView view_;
  JobKind kind_ = JobKind::Scan;
  std::chrono::steady_clock::time_point stageStart_;
  std::chrono::steady_clock::time_point lastDraw_;
};
