#include "cli/progress_bar.h"

#include <algorithm>

#include "cli/terminal.h"
#include "platform/platform.h"

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
// Below this the rate is too uncertain for an estimate of our own.
constexpr auto kEstimateAfter = std::chrono::seconds(2);

std::string StageLabel(const JobStage& stage) {
  std::string source;
  if (stage.isVolume) {
    source = "volume " + std::to_string(stage.tag);
  } else {
    source = platform::Utf16ToUtf8(stage.imageName);
  }
  switch (stage.kind) {
    case JobKind::Scan: return "scanning " + source;
    case JobKind::Search: return "searching " + source;
    case JobKind::Recovery: return "recovering";
  }
  return std::string();
}

std::string Plural(uint64_t count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

}  // namespace

std::string FormatDuration(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const int64_t hours = seconds / 3600;
  const int64_t minutes = seconds / 60 % 60;
  char text[32];
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(hours),
                  static_cast<long long>(minutes), static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes),
                  static_cast<long long>(seconds % 60));
  }
  return text;
}

std::string FormatProgressLine(const ProgressView& view, int columns) {
  const int32_t percent = std::clamp(view.percent, 0, 100);
  std::string tail = " " + std::to_string(percent) + "%";
  if (!view.counts.empty()) tail += "  " + view.counts;
  if (view.secondsLeft >= 0) tail += "  " + FormatDuration(view.secondsLeft) + " left";
  std::string label = view.label;
  const int width = std::max(columns - 1, 20);
  // The bar takes what is left, between 10 and 30 cells; a long label is cut.
  const int room = width - static_cast<int>(tail.size()) - 3;
  const int barCells = std::clamp(room - static_cast<int>(label.size()), 10, 30);
  const int labelRoom = std::max(room - barCells, 0);
  if (static_cast<int>(label.size()) > labelRoom) label.resize(static_cast<size_t>(labelRoom));
  const int filled = barCells * percent / 100;
  std::string line = label + " [" + std::string(static_cast<size_t>(filled), '#') +
                     std::string(static_cast<size_t>(barCells - filled), '.') + "]" + tail;
  if (static_cast<int>(line.size()) > width) line.resize(static_cast<size_t>(width));
  return line;
}

CProgressBar::CProgressBar(std::FILE* stream, bool draw)
    : stream_(stream), draw_(draw), stageStart_(std::chrono::steady_clock::now()) {}

CProgressBar::~CProgressBar() { Clear(); }

void CProgressBar::OnStage(const JobStage& stage) {
  kind_ = stage.kind;
  view_ = ProgressView();
  view_.label = StageLabel(stage);
  stageStart_ = std::chrono::steady_clock::now();
  lastDraw_ = std::chrono::steady_clock::time_point();
  Draw();
}

void CProgressBar::OnProgress(const JobProgress& progress) {
  view_.percent = progress.percent;
  if (kind_ == JobKind::Scan) {
    view_.counts = Plural(progress.filesFound, "file") + " found";
    view_.secondsLeft =
        progress.secondsLeft >= 0 ? progress.secondsLeft : EstimateSecondsLeft(progress.percent);
  } else if (kind_ == JobKind::Recovery && progress.filesTotal > 0) {
    // The bar runs once over the whole selection; the current file moves it
    // within its share.
    const int64_t share = progress.percent >= 100 ? 0 : progress.percent;
    view_.percent =
        static_cast<int32_t>((int64_t {progress.filesDone} * 100 + share) / progress.filesTotal);
    view_.counts = std::to_string(progress.filesDone) + " of " +
                   Plural(progress.filesTotal, "file");
    if (progress.filesFailed > 0) view_.counts += ", " + std::to_string(progress.filesFailed) + " failed";
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  Draw();
}

bool CProgressBar::IsCancelRequested() { return InterruptRequested(); }

int32_t CProgressBar::EstimateSecondsLeft(int32_t percent) const {
  const auto elapsed = std::chrono::steady_clock::now() - stageStart_;
  if (percent <= 0 || percent >= 100 || elapsed < kEstimateAfter) return -1;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
  return static_cast<int32_t>(seconds * (100 - percent) / percent);
}

void CProgressBar::Draw() {
  if (!draw_) return;
  const std::string line = FormatProgressLine(view_, TerminalColumns(stream_));
  std::fprintf(stream_, "\r%s\x1b[K", line.c_str());
  std::fflush(stream_);
  drawn_ = true;
}

void CProgressBar::Clear() {
  if (!draw_ || !drawn_) return;
  std::fputs("\r\x1b[K", stream_);
  std::fflush(stream_);
  drawn_ = false;
}
