#include "cli/ProgressBar.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "cli/Interrupt.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr int kTerminalBarWidth = 24;
constexpr std::chrono::milliseconds kRedrawInterval{150};

int percentOf(std::uint64_t done, std::uint64_t total) {
  if (total == 0) return 100;
  return static_cast<int>(std::min<std::uint64_t>(done * 100 / total, 100));
}

std::string formatDuration(std::uint64_t seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  }
  return text;
}

}  // namespace

std::string formatBytes(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes) / 1024.0;
  std::size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < std::size(kUnits)) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string formatProgressLine(std::string_view name, std::uint64_t done, std::uint64_t total,
                               std::chrono::milliseconds elapsed, int barWidth) {
  const int percent = percentOf(done, total);
  std::string line(name);
  if (barWidth > 0) {
    const int filled = percent * barWidth / 100;
    line += " [" + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(barWidth - filled), '-') + "]";
  }
  char percentText[8];
  std::snprintf(percentText, sizeof percentText, "%3d%%", percent);
  line += std::string(" ") + percentText + "  " + formatBytes(done) + " / " + formatBytes(total);
  if (elapsed.count() > 0 && done > 0) {
    const double bytesPerSecond = static_cast<double>(done) * 1000.0 / static_cast<double>(elapsed.count());
    const std::uint64_t left = done >= total ? 0 : total - done;
    line += "  " + formatBytes(static_cast<std::uint64_t>(bytesPerSecond)) + "/s  " +
            formatDuration(static_cast<std::uint64_t>(static_cast<double>(left) / bytesPerSecond + 0.5)) + " left";
  } else {
    line += "  -- /s  --:-- left";
  }
  return line;
}

ProgressBar::ProgressBar(TransferTerminal& terminal, bool quiet) : terminal_(terminal), quiet_(quiet) {}

ProgressBar::~ProgressBar() { terminal_.endProgress(); }

bool ProgressBar::pollCancel() {
  if (cancelReported_ || !InterruptGuard::requested()) return false;
  cancelReported_ = true;
  return true;
}

void ProgressBar::showBytes(std::string_view fileName, std::uint64_t done, std::uint64_t total) {
  if (quiet_) return;
  const Clock::time_point now = Clock::now();
  const bool newFile = fileName != lastName_;
  const int quarter = percentOf(done, total) / 25;
  if (terminal_.isTerminal()) {
    if (!newFile && now - lastDrawn_ < kRedrawInterval) return;
  } else if (!newFile && quarter == lastQuarter_) {
    return;
  }
  lastName_ = fileName;
  lastQuarter_ = quarter;
  lastDrawn_ = now;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - started_);
  terminal_.drawProgress(
      formatProgressLine(printable(fileName), done, total, elapsed, terminal_.isTerminal() ? kTerminalBarWidth : 0));
}

}  // namespace quaverly::cli
