// The picture a panel in a given state must show, built from the committed bitmap files (not
// from what the plug-in carries), and the comparison of a picture read back from a window with
// it. Each window system's test folder decodes the files by its own means: its header defines
// paneltest::loadResourceFile before any picture is built.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace paneltest {

// 0x00RRGGBB per pixel, rows from the top.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t at(int x, int y) const { return pixels[index(x, y)]; }
  std::uint32_t& at(int x, int y) { return pixels[index(x, y)]; }
  std::size_t index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
           static_cast<std::size_t>(x);
  }
};

// A bitmap file of resources/, as committed; defined by the window system's own header.
inline Image loadResourceFile(const std::string& fileName);

struct KnobOffset {
  int x;
  int y;
};

// What the panel shows: the index offsets of knobs 0..2 from their box corner, and each
// display as five characters: sign ('+' for the unlit dash, '-' for the lit one), tens (' ' for
// the blank digit), units, '.', tenths. A knob at kNotDrawn or a null display shows only the
// background there.
inline constexpr KnobOffset kNotDrawn{-1, -1};
struct PanelView {
  KnobOffset knobs[3];
  const char* displays[4];
};

inline constexpr int kKnobBoxX[3] = {31, 110, 194};
inline constexpr int kKnobBoxY = 19;
inline constexpr int kDisplayOriginX[4] = {28, 104, 185, 145};
inline constexpr int kDisplayOriginY[4] = {79, 79, 79, 111};

struct CommittedBitmaps {
  Image background, index, mask, blank, point, minus, plus;
  Image digits[10];
};

inline const CommittedBitmaps& committedBitmaps() {
  static const CommittedBitmaps bitmaps = [] {
    CommittedBitmaps b;
    b.background = loadResourceFile("bitfond.bmp");
    b.index = loadResourceFile("bitindex.bmp");
    b.mask = loadResourceFile("bitindmk.bmp");
    b.blank = loadResourceFile("bitnombd.bmp");
    b.point = loadResourceFile("bitnombp.bmp");
    b.minus = loadResourceFile("bitmoins.bmp");
    b.plus = loadResourceFile("bitplus.bmp");
    for (int d = 0; d < 10; ++d) {
      b.digits[d] = loadResourceFile("bitnomb" + std::to_string(d) + ".bmp");
    }
    return b;
  }();
  return bitmaps;
}

inline void paste(Image& target, const Image& source, int x, int y) {
  for (int row = 0; row < source.height; ++row) {
    for (int column = 0; column < source.width; ++column) {
      target.at(x + column, y + row) = source.at(column, row);
    }
  }
}

inline const Image& displayGlyph(char c) {
  const CommittedBitmaps& b = committedBitmaps();
  if (c == ' ') {
    return b.blank;
  }
  EXPECT_TRUE(c >= '0' && c <= '9') << "display character '" << c << "'";
  return b.digits[(c >= '0' && c <= '9') ? c - '0' : 0];
}

inline Image expectedPanel(const PanelView& view) {
  const CommittedBitmaps& b = committedBitmaps();
  Image image = b.background;
  for (int i = 0; i < 3; ++i) {
    if (view.knobs[i].x == kNotDrawn.x && view.knobs[i].y == kNotDrawn.y) {
      continue;
    }
    const int x0 = kKnobBoxX[i] + view.knobs[i].x;
    const int y0 = kKnobBoxY + view.knobs[i].y;
    // Mask AND, then sprite XOR, over whatever the background shows there.
    for (int row = 0; row < 6; ++row) {
      for (int column = 0; column < 6; ++column) {
        std::uint32_t& pixel = image.at(x0 + column, y0 + row);
        pixel = (pixel & b.mask.at(column, row)) ^ b.index.at(column, row);
      }
    }
  }
  for (int i = 0; i < 4; ++i) {
    if (view.displays[i] == nullptr) {
      continue;
    }
    const std::string text = view.displays[i];
    EXPECT_EQ(text.size(), 5u) << text;
    EXPECT_EQ(text[3], '.') << text;
    const int x0 = kDisplayOriginX[i];
    const int y0 = kDisplayOriginY[i];
    paste(image, text[0] == '-' ? b.minus : b.plus, x0 + 16, y0 + 3);
    paste(image, displayGlyph(text[1]), x0 + 20, y0);
    paste(image, displayGlyph(text[2]), x0 + 27, y0);
    paste(image, b.point, x0 + 33, y0);
    paste(image, displayGlyph(text[4]), x0 + 36, y0);
  }
  return image;
}

// Every pixel equal; otherwise the count and the first few differences.
inline ::testing::AssertionResult samePicture(const Image& actual, const Image& expected) {
  if (actual.width != expected.width || actual.height != expected.height) {
    return ::testing::AssertionFailure()
           << "size " << actual.width << " x " << actual.height << ", expected " << expected.width
           << " x " << expected.height;
  }
  int differences = 0;
  std::string first;
  for (int y = 0; y < actual.height; ++y) {
    for (int x = 0; x < actual.width; ++x) {
      if (actual.at(x, y) != expected.at(x, y) && ++differences <= 8) {
        char line[80];
        std::snprintf(line, sizeof line, "\n  (%d, %d): %06x, expected %06x", x, y, actual.at(x, y),
                      expected.at(x, y));
        first += line;
      }
    }
  }
  if (differences == 0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << differences << " pixels differ" << first;
}

}  // namespace paneltest
