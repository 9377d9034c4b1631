#include "editor/panel_zoom_menu.h"

#include <algorithm>

#include "editor/panel_zoom.h"

namespace {

// The colours of the panel's displays: the black face, unlit and lit segments; and a border
// in the grey of the panel's frame.
constexpr std::uint32_t kFace = 0x0f0f0f;
constexpr std::uint32_t kUnlit = 0x003c4a;
constexpr std::uint32_t kLit = 0x66e0ff;
constexpr std::uint32_t kBorder = 0x9a9a9a;

// Inside the menu: a border, one pixel of face, the items; in an item, two rows of face, then
// the glyphs of the display's height.
constexpr std::int32_t kItemsTop = 2;
constexpr std::int32_t kGlyphTop = 2;
constexpr std::int32_t kGlyphHeight = 9;
constexpr std::int32_t kMarkLeft = 4;
constexpr std::int32_t kMarkTop = 2;  // within the glyph rows
constexpr std::int32_t kDigitsLeft = 9;
constexpr std::int32_t kDigitPitch = 6;
constexpr std::int32_t kPercentLeft = 27;

// The displays have no percent sign; this one is drawn in their lit colour, five by nine.
constexpr const char* kPercent[kGlyphHeight] = {
    ".....", "##..#", "##.#.", "...#.", "..#..", ".#...", ".#.##", "#..##", ".....",
};
// The mark at the current zoom: lit there, unlit elsewhere, like a segment.
constexpr const char* kMark[5] = {"#..", "##.", "###", "##.", "#.."};

}  // namespace

void PanelZoomMenu::open(std::int32_t x, std::int32_t y, std::int32_t currentZoom) {
  open_ = true;
  x_ = std::clamp(x, 0, kPanelWidth - kWidth);
  y_ = std::clamp(y, 0, kPanelHeight - kHeight);
  current_ = currentZoom;
  hovered_ = itemAt(x, y);
}

PanelRect PanelZoomMenu::area() const {
  return open_ ? PanelRect{x_, y_, kWidth, kHeight} : PanelRect{};
}

std::int32_t PanelZoomMenu::itemAt(std::int32_t x, std::int32_t y) const {
  const std::int32_t left = x - x_;
  const std::int32_t top = y - y_ - kItemsTop;
  if (!open_ || left < 1 || left >= kWidth - 1 || top < 0 || top >= kPanelZoomCount * kItemHeight) {
    return -1;
  }
  return top / kItemHeight;
}

std::int32_t PanelZoomMenu::zoomAt(std::int32_t x, std::int32_t y) const {
  const std::int32_t item = itemAt(x, y);
  return item >= 0 ? kPanelZooms[item] : 0;
}

bool PanelZoomMenu::hover(std::int32_t x, std::int32_t y) {
  const std::int32_t item = itemAt(x, y);
  if (item == hovered_) {
    return false;
  }
  hovered_ = item;
  return open_;
}

void PanelZoomMenu::drawRow(std::int32_t y, std::uint32_t* row,
                            const PanelBitmapSet& bitmaps) const {
  const std::int32_t line = y - y_;
  if (!open_ || line < 0 || line >= kHeight) {
    return;
  }
  std::uint32_t* menu = row + x_;
  if (line == 0 || line == kHeight - 1) {
    std::fill(menu, menu + kWidth, kBorder);
    return;
  }
  menu[0] = kBorder;
  menu[kWidth - 1] = kBorder;
  const std::int32_t itemLine = line - kItemsTop;
  const std::int32_t item = itemLine / kItemHeight;
  const bool inItems = itemLine >= 0 && item < kPanelZoomCount;
  const std::uint32_t face = inItems && item == hovered_ ? kUnlit : kFace;
  std::fill(menu + 1, menu + kWidth - 1, face);
  const std::int32_t glyphLine = itemLine - item * kItemHeight - kGlyphTop;
  if (!inItems || glyphLine < 0 || glyphLine >= kGlyphHeight) {
    return;
  }

  const std::int32_t markLine = glyphLine - kMarkTop;
  if (markLine >= 0 && markLine < 5) {
    const std::uint32_t colour = kPanelZooms[item] == current_ ? kLit : kUnlit;
    for (std::int32_t x = 0; x < 3; ++x) {
      if (kMark[markLine][x] == '#') {
        menu[kMarkLeft + x] = colour;
      }
    }
  }
  // The digits as the displays show them; their face becomes the item's, so that a lit band
  // runs under the whole item.
  std::int32_t value = kPanelZooms[item];
  for (std::int32_t place = 2; place >= 0; --place, value /= 10) {
    const PanelPixels& digit = bitmaps[digitBitmap(value % 10)];
    if (digit.pixels == nullptr || glyphLine >= digit.height) {
      continue;
    }
    const std::uint32_t* from = digit.pixels + static_cast<std::ptrdiff_t>(glyphLine) * digit.width;
    const std::uint32_t digitFace = digit.pixels[0];
    for (std::int32_t x = 0; x < std::min(digit.width, kDigitPitch - 1); ++x) {
      menu[kDigitsLeft + place * kDigitPitch + x] = from[x] == digitFace ? face : from[x];
    }
  }
  for (std::int32_t x = 0; x < 5; ++x) {
    if (kPercent[glyphLine][x] == '#') {
      menu[kPercentLeft + x] = kLit;
    }
  }
}
