// The zoom menu a right click opens on the panel: drawn by the panel itself, in the style of its
// numeric displays (lit and unlit segments on black), over the panel's picture and scaled with
// it. It lists the offered zooms with a lit mark at the current one and a lit band under the
// item the pointer is on. Positions are panel pixels.
#pragma once

#include <cstdint>

#include "editor/panel_canvas.h"

class PanelZoomMenu {
 public:
  static constexpr std::int32_t kItemHeight = 13;
  static constexpr std::int32_t kWidth = 34;
  static constexpr std::int32_t kHeight = 69;

  bool isOpen() const { return open_; }
  // Opens with its top-left corner at the point, moved inside the panel where it would not fit.
  void open(std::int32_t x, std::int32_t y, std::int32_t currentZoom);
  void close() { open_ = false; }
  // Empty while closed.
  PanelRect area() const;
  // The zoom of the item at a point; 0 outside every item (and while closed).
  std::int32_t zoomAt(std::int32_t x, std::int32_t y) const;
  // The item under the pointer is shown lit; true when that changed what the menu shows.
  bool hover(std::int32_t x, std::int32_t y);

  // Draws the menu's part of panel row y over `row` (kPanelWidth pixels). The digits come from
  // the panel's own digit bitmaps.
  void drawRow(std::int32_t y, std::uint32_t* row, const PanelBitmapSet& bitmaps) const;

 private:
  std::int32_t itemAt(std::int32_t x, std::int32_t y) const;

  bool open_ = false;
  std::int32_t x_ = 0;
  std::int32_t y_ = 0;
  std::int32_t current_ = 100;
  std::int32_t hovered_ = -1;
};
