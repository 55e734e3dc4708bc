// A one-line progress display for the long commands. It draws on standard
// error only when that is a terminal, so pipes and logs stay quiet.
#pragma once
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace tw::cli {

class ProgressBar {
 public:
  // `total` 0: the amount of work is unknown; the bar then only shows that
  // it is alive and for how long.
  ProgressBar(std::ostream& err, bool enabled, int columns, std::string label, uint64_t total);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Draws `done` of the total; at most ten times a second, and always at
  // the end.
  void Update(uint64_t done);
  // Moves the marker of a bar without a total.
  void Tick();
  // Removes the line, so that other output can be written; the next update
  // draws it again.
  void Clear();

 private:
  bool Due();
  void Draw(const std::string& bar, const std::string& tail);

  std::ostream& err_;
  bool enabled_;
  int columns_;
  std::string label_;
  uint64_t total_;
  uint64_t ticks_ = 0;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace tw::cli
