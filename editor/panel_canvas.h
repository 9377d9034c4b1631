// The software compositor behind every panel window: the panel's pixels in memory, changed by
// the block transfers of the drawing plans with the raster operations the Windows graphics
// interface defines (copy, AND, XOR on the pixel bits). The platform backends only show what it
// holds, so the same plans give the same pixels on every window system.
#pragma once

#include <cstddef>
#include <cstdint>

#include "editor/panel_layout.h"

// One bitmap's pixels as 0x00RRGGBB words, rows from the top. Null pixels stand for a bitmap
// that could not be loaded: transfers from it draw nothing.
struct PanelPixels {
  std::int32_t width = 0;
  std::int32_t height = 0;
  const std::uint32_t* pixels = nullptr;
};

inline constexpr std::int32_t kPanelBitmapCount =
    static_cast<std::int32_t>(PanelBitmap::plusMark) + 1;

// Indexed by PanelBitmap.
struct PanelBitmapSet {
  PanelPixels bitmaps[kPanelBitmapCount];

  const PanelPixels& operator[](PanelBitmap bitmap) const {
    return bitmaps[static_cast<std::int32_t>(bitmap)];
  }
};

struct PanelRect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;

  bool empty() const { return width <= 0 || height <= 0; }
  friend bool operator==(const PanelRect&, const PanelRect&) = default;
};

// The smallest rectangle holding both; an empty one adds nothing.
PanelRect unite(const PanelRect& a, const PanelRect& b);

class PanelCanvas {
 public:
  static constexpr std::int32_t width = kPanelWidth;
  static constexpr std::int32_t height = kPanelHeight;

  // Black, as a window shows before anything is drawn into it.
  PanelCanvas() = default;

  // Changes only destination pixels inside the canvas whose source pixel lies inside the source
  // bitmap: the knob index and decimal point plans name rectangles larger than their bitmaps.
  // Returns the rectangle of pixels written (empty when none).
  PanelRect transfer(const PanelTransfer& transfer, const PanelBitmapSet& bitmaps);
  PanelRect transfer(const PanelTransferList& transfers, const PanelBitmapSet& bitmaps);

  std::uint32_t at(std::int32_t x, std::int32_t y) const {
    return pixels_[static_cast<std::ptrdiff_t>(y) * width + x];
  }
  const std::uint32_t* row(std::int32_t y) const {
    return pixels_ + static_cast<std::ptrdiff_t>(y) * width;
  }

 private:
  std::uint32_t pixels_[width * height] = {};
};
