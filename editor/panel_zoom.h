// The sizes the panel is shown at. The panel is always composed at its own 270 x 400 pixels; a
// zoomed window shows that picture scaled, and its pointer positions are mapped back, so every
// hit area and drag works on the same panel pixels at every size.
#pragma once

#include <cstdint>

#include "editor/panel_canvas.h"

// In percent, smallest first.
inline constexpr std::int32_t kPanelZooms[] = {100, 150, 200, 250, 300};
inline constexpr std::int32_t kPanelZoomCount = 5;

bool isPanelZoom(std::int32_t percent);
// The largest offered zoom at or below a scale factor (1.0 is 100 %); 100 % for anything
// smaller, and for a factor that is not a number.
std::int32_t panelZoomAtOrBelow(double factor);
// A display's dots per inch, 96 being 100 %; 0 or less (unknown) is 100 %.
std::int32_t panelZoomForDpi(std::int32_t dpi);

struct PanelSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
  friend bool operator==(const PanelSize&, const PanelSize&) = default;
};
PanelSize panelSizeAt(std::int32_t zoom);
// The offered zoom whose window is exactly this size; 0 when none is.
std::int32_t panelZoomOfSize(std::int32_t width, std::int32_t height);
// The largest offered zoom whose window fits in this size; 100 % when none does.
std::int32_t panelZoomFitting(std::int32_t width, std::int32_t height);

// Each source pixel of the panel becomes zoom / 100 window pixels along each axis. Counted in
// half panel pixels, every window pixel covers two equal halves, each inside one panel pixel: at
// the whole-number zooms both halves lie in the same one (pixel replication); at 150 % and 250 %
// a window pixel that straddles two panel pixels is their even mix. So the art stays sharp, a
// hard edge blurs by at most one window pixel, the weights are exact integers (every build shows
// the same bits) and any rectangle can be redrawn on its own with the pixels a whole redraw
// gives. A general resampling library has none of these three properties together: its filters
// ring or blur across edges, and its floating-point weights vary with the build.
class PanelScale {
 public:
  explicit PanelScale(std::int32_t zoom) : halves_(zoom / 50) {}

  std::int32_t zoom() const { return halves_ * 50; }
  PanelSize windowSize() const { return panelSizeAt(zoom()); }
  // The panel pixel under a window pixel (its centre); for any coordinate, also outside the
  // window, where the pointer may be during a drag.
  std::int32_t toPanel(std::int32_t windowCoordinate) const;
  // The window pixels whose picture depends on any panel pixel of the rectangle, within the
  // window.
  PanelRect windowRectOf(const PanelRect& panelRect) const;
  // The panel pixels showing through the two halves of a window pixel.
  std::int32_t firstHalf(std::int32_t windowCoordinate) const {
    return 2 * windowCoordinate / halves_;
  }
  std::int32_t secondHalf(std::int32_t windowCoordinate) const {
    return (2 * windowCoordinate + 1) / halves_;
  }

 private:
  std::int32_t halves_;
};

// The panel's picture, row by row, as a window shows it (the canvas with anything drawn over it).
class PanelRowSource {
 public:
  // Row y (0 <= y < panel height), kPanelWidth pixels; `scratch` may be used to compose it.
  virtual const std::uint32_t* row(std::int32_t y, std::uint32_t* scratch) const = 0;

 protected:
  ~PanelRowSource() = default;
};

// The window pixels of `windowRect` (inside the window) into `out`, rows `stride` pixels apart.
void scalePanelPixels(const PanelScale& scale, const PanelRowSource& source,
                      const PanelRect& windowRect, std::uint32_t* out, std::int32_t stride);
