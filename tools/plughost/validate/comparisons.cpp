#include "tools/plughost/validate/comparisons.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace plughost::validate {

std::uint32_t bitsOf(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

std::string floatText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

std::optional<std::string> firstDifference(const Channels& a, const Channels& b) {
  if (a.size() != b.size()) {
    return std::to_string(a.size()) + " channels vs " + std::to_string(b.size());
  }
  for (std::size_t c = 0; c < a.size(); ++c) {
    if (a[c].size() != b[c].size()) {
      return "channel " + std::to_string(c) + " lengths differ";
    }
    for (std::size_t i = 0; i < a[c].size(); ++i) {
      if (bitsOf(a[c][i]) != bitsOf(b[c][i])) {
        return "output channel " + std::to_string(c) + " frame " + std::to_string(i) + ": " +
               floatText(a[c][i]) + " vs " + floatText(b[c][i]);
      }
    }
  }
  return std::nullopt;
}

std::optional<std::string> firstNonFinite(const Channels& audio, std::int32_t fromFrame) {
  for (std::size_t c = 0; c < audio.size(); ++c) {
    for (std::size_t i = static_cast<std::size_t>(std::max(fromFrame, 0)); i < audio[c].size();
         ++i) {
      if (!std::isfinite(audio[c][i])) {
        return "output channel " + std::to_string(c) + " frame " + std::to_string(i) + " is " +
               floatText(audio[c][i]);
      }
    }
  }
  return std::nullopt;
}

}  // namespace plughost::validate
