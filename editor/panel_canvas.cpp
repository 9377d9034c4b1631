#include "editor/panel_canvas.h"

#include <algorithm>

PanelRect unite(const PanelRect& a, const PanelRect& b) {
  if (a.empty()) {
    return b;
  }
  if (b.empty()) {
    return a;
  }
  const std::int32_t left = std::min(a.x, b.x);
  const std::int32_t top = std::min(a.y, b.y);
  const std::int32_t right = std::max(a.x + a.width, b.x + b.width);
  const std::int32_t bottom = std::max(a.y + a.height, b.y + b.height);
  return {left, top, right - left, bottom - top};
}

PanelRect PanelCanvas::transfer(const PanelTransfer& t, const PanelBitmapSet& bitmaps) {
  const PanelPixels& source = bitmaps[t.source];
  if (source.pixels == nullptr) {
    return {};
  }
  // Clip in 64 bits: plans come from table positions, but nothing here may overflow on them.
  std::int64_t left = std::max<std::int64_t>({0, t.x, std::int64_t{t.x} - t.sourceX});
  std::int64_t top = std::max<std::int64_t>({0, t.y, std::int64_t{t.y} - t.sourceY});
  const std::int64_t right = std::min<std::int64_t>(
      {width, std::int64_t{t.x} + t.width, std::int64_t{t.x} - t.sourceX + source.width});
  const std::int64_t bottom = std::min<std::int64_t>(
      {height, std::int64_t{t.y} + t.height, std::int64_t{t.y} - t.sourceY + source.height});
  if (left >= right || top >= bottom) {
    return {};
  }
  for (std::int64_t y = top; y < bottom; ++y) {
    std::uint32_t* to = pixels_ + y * width;
    const std::uint32_t* from = source.pixels + (y - t.y + t.sourceY) * source.width;
    for (std::int64_t x = left; x < right; ++x) {
      const std::uint32_t s = from[x - t.x + t.sourceX];
      switch (t.operation) {
        case PanelRasterOperation::copy:
          to[x] = s;
          break;
        case PanelRasterOperation::andSource:
          to[x] &= s;
          break;
        case PanelRasterOperation::xorSource:
          to[x] ^= s;
          break;
      }
    }
  }
  return {static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
          static_cast<std::int32_t>(right - left), static_cast<std::int32_t>(bottom - top)};
}

PanelRect PanelCanvas::transfer(const PanelTransferList& transfers, const PanelBitmapSet& bitmaps) {
  PanelRect changed;
  for (const PanelTransfer& t : transfers) {
    changed = unite(changed, transfer(t, bitmaps));
  }
  return changed;
}
