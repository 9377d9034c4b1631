// A one-line progress bar on standard error, drawn only when standard error is a terminal so
// that logs and pipes stay clean.
#pragma once

#include <chrono>
#include <cstdint>

namespace plughost {

bool standardErrorIsTerminal();

class ProgressBar {
 public:
  ProgressBar(std::uint64_t total, bool enabled);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Redraws at most every 100 ms.
  void update(std::uint64_t done);
  // Erases the bar.
  void finish();

 private:
  void draw(std::uint64_t done);

  std::uint64_t total_;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace plughost
