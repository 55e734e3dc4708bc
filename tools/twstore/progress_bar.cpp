#include "progress_bar.h"

#include <algorithm>

namespace tw::cli {

namespace {
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kDefaultColumns = 80;
constexpr const char* kEraseLine = "\r\x1b[K";
}  // namespace

ProgressBar::ProgressBar(std::ostream& err, bool enabled, int columns, std::string label, uint64_t total)
    : err_(err),
      enabled_(enabled),
      columns_(columns > 0 ? columns : kDefaultColumns),
      label_(std::move(label)),
      total_(total),
      start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() { Clear(); }

bool ProgressBar::Due() {
  const auto now = std::chrono::steady_clock::now();
  if (lastDraw_ != std::chrono::steady_clock::time_point{} && now - lastDraw_ < kRedrawInterval) return false;
  lastDraw_ = now;
  return true;
}

void ProgressBar::Update(uint64_t done) {
  if (!enabled_ || total_ == 0) return;
  done = std::min(done, total_);
  if (done != total_ && !Due()) return;
  const std::string tail = " " + std::to_string(done) + "/" + std::to_string(total_);
  const int width = std::max(10, std::min(40, columns_ - static_cast<int>(label_.size() + tail.size()) - 4));
  const auto filled = static_cast<int>(done * static_cast<uint64_t>(width) / total_);
  const std::string bar(static_cast<size_t>(filled), '#');
  Draw("[" + bar + std::string(static_cast<size_t>(width - filled), '-') + "]", tail);
}

void ProgressBar::Tick() {
  if (!enabled_) return;
  ++ticks_;
  if (!Due()) return;
  constexpr int kWidth = 20;
  const int span = kWidth - 3;
  const int step = static_cast<int>(ticks_ % static_cast<uint64_t>(2 * span));
  const int at = step < span ? step : 2 * span - step;
  std::string bar(kWidth, ' ');
  bar.replace(static_cast<size_t>(at), 3, "<=>");
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_).count();
  Draw("[" + bar + "]", " " + std::to_string(seconds) + "s");
}

void ProgressBar::Clear() {
  if (!enabled_ || !drawn_) return;
  err_ << kEraseLine << std::flush;
  drawn_ = false;
}

void ProgressBar::Draw(const std::string& bar, const std::string& tail) {
  std::string line = label_ + " " + bar + tail;
  // A line wider than the terminal would wrap and never be erased.
  if (line.size() >= static_cast<size_t>(columns_)) line.resize(static_cast<size_t>(columns_ - 1));
  err_ << kEraseLine << line << std::flush;
  drawn_ = true;
}

}  // namespace tw::cli
