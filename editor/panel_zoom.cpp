#include "editor/panel_zoom.h"

#include <algorithm>
#include <iterator>

namespace {

std::int32_t floorDivide(std::int64_t numerator, std::int64_t denominator) {
  std::int64_t quotient = numerator / denominator;
  if (numerator % denominator != 0 && (numerator < 0) != (denominator < 0)) {
    --quotient;
  }
  return static_cast<std::int32_t>(quotient);
}

std::int32_t ceilDivide(std::int64_t numerator, std::int64_t denominator) {
  return -floorDivide(-numerator, denominator);
}

// The even mix of four pixels, channel by channel, rounded half up; four equal pixels give
// themselves back exactly.
std::uint32_t mix(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  std::uint32_t result = 0;
  for (std::uint32_t shift = 0; shift < 24; shift += 8) {
    const std::uint32_t sum = ((a >> shift) & 0xffu) + ((b >> shift) & 0xffu) +
                              ((c >> shift) & 0xffu) + ((d >> shift) & 0xffu);
    result |= ((sum + 2) >> 2) << shift;
  }
  return result;
}

}  // namespace

bool isPanelZoom(std::int32_t percent) {
  return std::find(std::begin(kPanelZooms), std::end(kPanelZooms), percent) !=
         std::end(kPanelZooms);
}

std::int32_t panelZoomAtOrBelow(double factor) {
  std::int32_t chosen = kPanelZooms[0];
  for (const std::int32_t zoom : kPanelZooms) {
    // A small tolerance: a host's 1.5 may arrive as 1.4999999 after its own arithmetic.
    if (factor * 100.0 >= zoom - 0.01) {
      chosen = zoom;
    }
  }
  return chosen;
}

std::int32_t panelZoomForDpi(std::int32_t dpi) {
  return dpi > 0 ? panelZoomAtOrBelow(dpi / 96.0) : kPanelZooms[0];
}

PanelSize panelSizeAt(std::int32_t zoom) {
  return {kPanelWidth * zoom / 100, kPanelHeight * zoom / 100};
}

std::int32_t panelZoomOfSize(std::int32_t width, std::int32_t height) {
  for (const std::int32_t zoom : kPanelZooms) {
    if (panelSizeAt(zoom) == PanelSize{width, height}) {
      return zoom;
    }
  }
  return 0;
}

std::int32_t panelZoomFitting(std::int32_t width, std::int32_t height) {
  std::int32_t chosen = kPanelZooms[0];
  for (const std::int32_t zoom : kPanelZooms) {
    const PanelSize size = panelSizeAt(zoom);
    if (size.width <= width && size.height <= height) {
      chosen = zoom;
    }
  }
  return chosen;
}

std::int32_t PanelScale::toPanel(std::int32_t windowCoordinate) const {
  return floorDivide(2 * std::int64_t{windowCoordinate} + 1, halves_);
}

PanelRect PanelScale::windowRectOf(const PanelRect& panelRect) const {
  if (panelRect.empty()) {
    return {};
  }
  const PanelSize size = windowSize();
  const std::int32_t left = std::max(0, floorDivide(std::int64_t{panelRect.x} * halves_, 2));
  const std::int32_t top = std::max(0, floorDivide(std::int64_t{panelRect.y} * halves_, 2));
  const std::int32_t right =
      std::min(size.width, ceilDivide((std::int64_t{panelRect.x} + panelRect.width) * halves_, 2));
  const std::int32_t bottom = std::min(
      size.height, ceilDivide((std::int64_t{panelRect.y} + panelRect.height) * halves_, 2));
  if (left >= right || top >= bottom) {
    return {};
  }
  return {left, top, right - left, bottom - top};
}

void scalePanelPixels(const PanelScale& scale, const PanelRowSource& source,
                      const PanelRect& windowRect, std::uint32_t* out, std::int32_t stride) {
  // The columns' panel pixels once for all rows: the widest window is 810 pixels.
  constexpr std::int32_t kWidestWindow = kPanelWidth * 3;
  std::int32_t left[kWidestWindow];
  std::int32_t right[kWidestWindow];
  const std::int32_t width = std::min(windowRect.width, kWidestWindow);
  bool replicated = true;
  for (std::int32_t x = 0; x < width; ++x) {
    left[x] = scale.firstHalf(windowRect.x + x);
    right[x] = scale.secondHalf(windowRect.x + x);
    replicated = replicated && left[x] == right[x];
  }
  std::uint32_t scratchA[kPanelWidth];
  std::uint32_t scratchB[kPanelWidth];
  for (std::int32_t y = 0; y < windowRect.height; ++y) {
    const std::int32_t windowY = windowRect.y + y;
    const std::int32_t topY = scale.firstHalf(windowY);
    const std::int32_t bottomY = scale.secondHalf(windowY);
    const std::uint32_t* top = source.row(topY, scratchA);
    std::uint32_t* to = out + static_cast<std::ptrdiff_t>(y) * stride;
    if (bottomY == topY && replicated) {
      for (std::int32_t x = 0; x < width; ++x) {
        to[x] = top[left[x]];
      }
      continue;
    }
    const std::uint32_t* bottom = bottomY == topY ? top : source.row(bottomY, scratchB);
    for (std::int32_t x = 0; x < width; ++x) {
      to[x] = mix(top[left[x]], top[right[x]], bottom[left[x]], bottom[right[x]]);
    }
  }
}
