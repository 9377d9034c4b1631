#include "tools/plughost/progress_bar.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace plughost {

constexpr int kBarWidth = 40;

bool standardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

ProgressBar::ProgressBar(std::uint64_t total, bool enabled) : total_(total), enabled_(enabled) {}

ProgressBar::~ProgressBar() {
  finish();
}

void ProgressBar::update(std::uint64_t done) {
  if (!enabled_) {
    return;
  }
  auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100) && done < total_) {
    return;
  }
  lastDraw_ = now;
  draw(done);
}

void ProgressBar::draw(std::uint64_t done) {
  double fraction = total_ > 0 ? static_cast<double>(done) / static_cast<double>(total_) : 1.0;
  if (fraction > 1.0) {
    fraction = 1.0;
  }
  int filled = static_cast<int>(fraction * kBarWidth);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kBarWidth, '.');
  std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), static_cast<int>(fraction * 100.0));
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::finish() {
  if (enabled_ && drawn_) {
    std::fprintf(stderr, "\r%*s\r", kBarWidth + 8, "");
    std::fflush(stderr);
    drawn_ = false;
  }
}

}  // namespace plughost
