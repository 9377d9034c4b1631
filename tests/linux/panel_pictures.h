// The X11 side of the panel tests: the committed bitmap files decoded by the bitmap tool's own
// reader, and the host's view of a panel read back from the display. The picture a panel must
// show is tests/support/panel_pictures.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/support/panel_pictures.h"
#include "tools/make_bitmaps/panel_bitmaps.h"
#include "tools/plughost/rgb_picture.h"

namespace paneltest {

inline Image fromRgb(const plughost::RgbPicture& picture) {
  Image image{picture.width, picture.height, {}};
  for (std::size_t i = 0; i + 2 < picture.rgb.size(); i += 3) {
    image.pixels.push_back((std::uint32_t{picture.rgb[i]} << 16) |
                           (std::uint32_t{picture.rgb[i + 1]} << 8) | picture.rgb[i + 2]);
  }
  return image;
}

inline Image loadResourceFile(const std::string& fileName) {
  const auto bytes =
      panel_bitmaps::readFile(std::string(DRIVE_SOURCE_DIR) + "/resources/" + fileName);
  const auto decoded = panel_bitmaps::decodeBmp(bytes);
  EXPECT_TRUE(decoded.has_value()) << fileName;
  if (!decoded) {
    return {};
  }
  Image image{decoded->image.width, decoded->image.height, {}};
  for (const panel_bitmaps::Rgb& p : decoded->image.pixels) {
    image.pixels.push_back((std::uint32_t{p.red} << 16) | (std::uint32_t{p.green} << 8) | p.blue);
  }
  return image;
}

}  // namespace paneltest
