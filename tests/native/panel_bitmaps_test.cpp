// The panel's bitmap resources: the committed files are what the generator writes, their pixels
// are the tabulated figures, and the background picture has its boxes where the editor draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "tools/make_bitmaps/panel_bitmaps.h"

namespace panel_bitmaps {

// Shows a mismatching picture as rows of hexadecimal colours instead of raw bytes.
void PrintTo(const Image& image, std::ostream* out) {
  *out << image.width << " x " << image.height;
  for (int y = 0; y < image.height; ++y) {
    *out << "\n ";
    for (int x = 0; x < image.width; ++x) {
      const Rgb colour = image.at(x, y);
      char text[16];
      std::snprintf(text, sizeof text, " %02x%02x%02x", colour.red, colour.green, colour.blue);
      *out << text;
    }
  }
}

}  // namespace panel_bitmaps

namespace {

using panel_bitmaps::Image;
using panel_bitmaps::Rgb;

const std::filesystem::path resourceFolder = std::filesystem::path(DRIVE_SOURCE_DIR) / "resources";

Image loadCommitted(const std::string& fileName, int expectedBitsPerPixel) {
  const auto bytes = panel_bitmaps::readFile(resourceFolder / fileName);
  const auto decoded = panel_bitmaps::decodeBmp(bytes);
  EXPECT_TRUE(decoded.has_value()) << fileName;
  if (!decoded) {
    return {};
  }
  EXPECT_EQ(decoded->bitsPerPixel, expectedBitsPerPixel) << fileName;
  return decoded->image;
}

// A picture from rows of characters, one per pixel, through a legend.
Image picture(const std::vector<std::string>& rows, const std::map<char, Rgb>& legend) {
  Image image(static_cast<int>(rows.front().size()), static_cast<int>(rows.size()));
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      image.set(x, y, legend.at(rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]));
    }
  }
  return image;
}

const std::map<char, Rgb> digitLegend{
    {'.', Rgb{15, 15, 15}}, {'#', Rgb{102, 224, 255}}, {'o', Rgb{0, 60, 74}}};

// A digit drawn as its five distinct rows: top, the three upper side rows, middle, the three
// lower side rows, bottom. '#' lit segment, 'o' unlit segment, '.' digit background.
Image digitPicture(const std::array<std::string, 5>& parts) {
  return picture(
      {parts[0], parts[1], parts[1], parts[1], parts[2], parts[3], parts[3], parts[3], parts[4]},
      digitLegend);
}

struct DigitCase {
  int digit;  // -1: the blank digit
  std::string fileName;
  std::array<std::string, 5> parts;
};

const std::vector<DigitCase> digitCases{
    {0, "bitnomb0.bmp", {".###.", "#...#", ".ooo.", "#...#", ".###."}},
    {1, "bitnomb1.bmp", {".ooo.", "o...#", ".ooo.", "o...#", ".ooo."}},
    {2, "bitnomb2.bmp", {".###.", "o...#", ".###.", "#...o", ".###."}},
    {3, "bitnomb3.bmp", {".###.", "o...#", ".###.", "o...#", ".###."}},
    {4, "bitnomb4.bmp", {".ooo.", "#...#", ".###.", "o...#", ".ooo."}},
    {5, "bitnomb5.bmp", {".###.", "#...o", ".###.", "o...#", ".###."}},
    {6, "bitnomb6.bmp", {".###.", "#...o", ".###.", "#...#", ".###."}},
    {7, "bitnomb7.bmp", {".###.", "o...#", ".ooo.", "o...#", ".ooo."}},
    {8, "bitnomb8.bmp", {".###.", "#...#", ".###.", "#...#", ".###."}},
    {9, "bitnomb9.bmp", {".###.", "#...#", ".###.", "o...#", ".###."}},
    {-1, "bitnombd.bmp", {".ooo.", "o...o", ".ooo.", "o...o", ".ooo."}},
};

TEST(PanelBitmaps, CommittedSmallBitmapsAreWhatTheGeneratorWrites) {
  const auto folder = std::filesystem::path(::testing::TempDir()) /
                      ("panel_bitmaps_" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);
  const auto written = panel_bitmaps::writeSmallBitmaps(folder);
  ASSERT_EQ(written.size(), 16u);
  for (const auto& path : written) {
    const auto fresh = panel_bitmaps::readFile(path);
    const auto committed = panel_bitmaps::readFile(resourceFolder / path.filename());
    EXPECT_EQ(fresh, committed) << path.filename() << " is stale: run resources/regenerate.sh";
  }
  std::filesystem::remove_all(folder);
}

TEST(PanelBitmaps, ResourceScriptNamesEveryBitmapByString) {
  std::ifstream script(resourceFolder / "drive_effect.rc");
  ASSERT_TRUE(script) << "resources/drive_effect.rc is missing";
  std::map<std::string, std::string> named;
  const std::regex entry(R"(^\s*(IDB_\w+)\s+BITMAP\s+"([^"]+)\")");
  for (std::string line; std::getline(script, line);) {
    std::smatch match;
    if (std::regex_search(line, match, entry)) {
      EXPECT_TRUE(named.emplace(match[1], match[2]).second) << "named twice: " << match[1];
    }
  }
  std::map<std::string, std::string> expected{
      {"IDB_BITFOND", "bitfond.bmp"},   {"IDB_BITINDEX", "bitindex.bmp"},
      {"IDB_BITINDMK", "bitindmk.bmp"}, {"IDB_BITNOMBD", "bitnombd.bmp"},
      {"IDB_BITNOMBP", "bitnombp.bmp"}, {"IDB_BITMOINS", "bitmoins.bmp"},
      {"IDB_BITPLUS", "bitplus.bmp"}};
  for (int digit = 0; digit <= 9; ++digit) {
    const std::string suffix = std::to_string(digit);
    expected.emplace("IDB_BITNOMB" + suffix, "bitnomb" + suffix + ".bmp");
  }
  EXPECT_EQ(named, expected);
  for (const auto& bitmap : panel_bitmaps::smallBitmaps()) {
    EXPECT_EQ(expected[bitmap.resourceName], bitmap.fileName) << "generator writes another file";
  }
  for (const auto& [name, fileName] : named) {
    EXPECT_TRUE(std::filesystem::exists(resourceFolder / fileName)) << name << ": " << fileName;
  }
}

TEST(PanelBitmaps, DigitsShowTheirSevenSegmentFigures) {
  for (const DigitCase& digitCase : digitCases) {
    SCOPED_TRACE(digitCase.fileName);
    const Image expected = digitPicture(digitCase.parts);
    EXPECT_EQ(panel_bitmaps::digitImage(digitCase.digit), expected);
    EXPECT_EQ(loadCommitted(digitCase.fileName, 4), expected);
  }
}

TEST(PanelBitmaps, PointAndSignMarks) {
  const Image point =
      picture({"...", "...", "...", "...", "...", "...", "...", "...", ".#."}, digitLegend);
  EXPECT_EQ(panel_bitmaps::pointImage(), point);
  EXPECT_EQ(loadCommitted("bitnombp.bmp", 4), point);

  const Image minus = picture({"ccc"}, {{'c', Rgb{0, 255, 255}}});
  const Image plus = picture({"nnn"}, {{'n', Rgb{0, 0, 128}}});
  EXPECT_EQ(panel_bitmaps::minusMarkImage(), minus);
  EXPECT_EQ(loadCommitted("bitmoins.bmp", 4), minus);
  EXPECT_EQ(panel_bitmaps::plusMarkImage(), plus);
  EXPECT_EQ(loadCommitted("bitplus.bmp", 4), plus);
}

TEST(PanelBitmaps, KnobIndexSpriteAndMask) {
  const std::array<std::array<int, 6>, 6> greys{{
      {0x00, 0x00, 0x63, 0x5f, 0x00, 0x00},
      {0x00, 0x5c, 0x6b, 0x58, 0x4a, 0x00},
      {0x5e, 0x69, 0xa6, 0x5c, 0x4a, 0x72},
      {0x58, 0x57, 0x5d, 0x52, 0x44, 0x6c},
      {0x00, 0x48, 0x4a, 0x44, 0x3d, 0x00},
      {0x00, 0x00, 0x6e, 0x79, 0x00, 0x00},
  }};
  Image sprite(6, 6);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      const auto grey = static_cast<std::uint8_t>(
          greys[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
      sprite.set(x, y, Rgb{grey, grey, grey});
    }
  }
  const Image mask = picture({"WW..WW", "W....W", "......", "......", "W....W", "WW..WW"},
                             {{'W', Rgb{255, 255, 255}}, {'.', Rgb{0, 0, 0}}});
  EXPECT_EQ(panel_bitmaps::indexSpriteImage(), sprite);
  EXPECT_EQ(loadCommitted("bitindex.bmp", 24), sprite);
  EXPECT_EQ(panel_bitmaps::indexMaskImage(), mask);
  EXPECT_EQ(loadCommitted("bitindmk.bmp", 24), mask);

  // AND with the mask, then XOR with the sprite, must leave the background in the corners and
  // the exact grey dot elsewhere, whatever the background.
  for (const std::uint8_t background : {0x00, 0x5a, 0xff}) {
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 6; ++x) {
        const auto shown =
            static_cast<std::uint8_t>((background & mask.at(x, y).red) ^ sprite.at(x, y).red);
        const bool corner = mask.at(x, y) == Rgb{255, 255, 255};
        EXPECT_EQ(shown, corner ? background : sprite.at(x, y).red) << x << ", " << y;
      }
    }
  }
}

TEST(PanelBitmaps, FilesAreBottomUpUncompressedBmps) {
  // bitplus.bmp spelled out byte by byte: file header, info header, 16-entry palette, one row
  // of three 4-bit pixels padded to four bytes.
  const auto bytes = panel_bitmaps::readFile(resourceFolder / "bitplus.bmp");
  ASSERT_EQ(bytes.size(), 14u + 40u + 64u + 4u);
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                      bytes[at + 3] << 24);
  };
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(u32(2), bytes.size());
  EXPECT_EQ(u32(10), 118u);  // pixel data offset
  EXPECT_EQ(u32(14), 40u);   // BITMAPINFOHEADER
  EXPECT_EQ(u32(18), 3u);
  EXPECT_EQ(u32(22), 1u);  // positive height: bottom-up
  EXPECT_EQ(bytes[26] | bytes[27] << 8, 1);
  EXPECT_EQ(bytes[28] | bytes[29] << 8, 4);
  EXPECT_EQ(u32(30), 0u);   // BI_RGB
  EXPECT_EQ(u32(46), 16u);  // palette entries
  const std::size_t index = bytes[118] >> 4;
  ASSERT_LT(index, 16u);
  EXPECT_EQ(bytes[54 + 4 * index], 128);  // blue, green, red, reserved
  EXPECT_EQ(bytes[54 + 4 * index + 1], 0);
  EXPECT_EQ(bytes[54 + 4 * index + 2], 0);
  EXPECT_EQ(bytes[118], index << 4 | index);
  EXPECT_EQ(bytes[119], index << 4);
  EXPECT_EQ(bytes[120], 0);
  EXPECT_EQ(bytes[121], 0);

  // A 24-bit file stores its bottom row first, blue before red: the sprite's bottom row starts
  // black and has 0x6e at column 2; rows are 18 bytes padded to 20.
  const auto sprite = panel_bitmaps::readFile(resourceFolder / "bitindex.bmp");
  ASSERT_EQ(sprite.size(), 54u + 6u * 20u);
  EXPECT_EQ(sprite[54 + 6], 0x6e);
  EXPECT_EQ(sprite[54 + 20 + 3 * 4], 0x3d);  // row 4 from the top, column 4

  const auto truncated = std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1);
  EXPECT_FALSE(panel_bitmaps::decodeBmp(truncated).has_value());
}

// Positions from the editor's control table.
struct ControlBoxes {
  int displayX;
  int displayY;
  int buttonX;
  int buttonY;
};
constexpr std::array<ControlBoxes, 4> kControlBoxes{{
    {28, 79, 73, 75},
    {104, 79, 150, 75},
    {185, 79, 231, 75},
    {145, 111, 191, 107},
}};

int luminance(Rgb colour) {
  return (colour.red * 30 + colour.green * 59 + colour.blue * 11) / 100;
}

double meanLuminance(const Image& image, int left, int top, int right, int bottom) {
  double sum = 0;
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      sum += luminance(image.at(x, y));
    }
  }
  return sum / ((right - left + 1) * (bottom - top + 1));
}

class BackgroundTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { background = loadCommitted("bitfond.bmp", 24); }
  static Image background;
};
Image BackgroundTest::background;

TEST_F(BackgroundTest, IsAFullPanelPicture) {
  EXPECT_EQ(background.width, 270);
  EXPECT_EQ(background.height, 400);
  EXPECT_TRUE(panel_bitmaps::backgroundProblems(background).empty());
}

TEST_F(BackgroundTest, DisplayInteriorsAreExactlyWhereTheDigitsLand) {
  ASSERT_EQ(background.width, 270);
  const Rgb interior{12, 12, 12};
  for (const ControlBoxes& box : kControlBoxes) {
    SCOPED_TRACE("display at " + std::to_string(box.displayX) + ", " +
                 std::to_string(box.displayY));
    // Columns displayX + 10 .. + 41 and rows displayY - 3 .. + 10, and not one pixel more.
    for (int y = box.displayY - 4; y <= box.displayY + 11; ++y) {
      for (int x = box.displayX + 9; x <= box.displayX + 42; ++x) {
        const bool inside = x >= box.displayX + 10 && x <= box.displayX + 41 &&
                            y >= box.displayY - 3 && y <= box.displayY + 10;
        EXPECT_EQ(background.at(x, y) == interior, inside) << x << ", " << y;
      }
    }
  }
}

TEST_F(BackgroundTest, ArrowButtonsSitRightOfTheDisplays) {
  ASSERT_EQ(background.width, 270);
  for (const ControlBoxes& box : kControlBoxes) {
    for (const int top : {box.buttonY, box.buttonY + 8}) {
      SCOPED_TRACE("button at " + std::to_string(box.buttonX) + ", " + std::to_string(top));
      int darkest = 255;
      int brightest = 0;
      for (int y = top; y < top + 8; ++y) {
        for (int x = box.buttonX; x < box.buttonX + 9; ++x) {
          EXPECT_NE(background.at(x, y), (Rgb{12, 12, 12})) << x << ", " << y;
          darkest = std::min(darkest, luminance(background.at(x, y)));
          brightest = std::max(brightest, luminance(background.at(x, y)));
        }
      }
      EXPECT_GE(brightest - darkest, 64) << "no arrow drawn on the button";
    }
  }
}

// Rows in which a column steps up sharply in brightness: the lit edge of a rib.
int ribEdges(const Image& image, int x, int top, int bottom) {
  int edges = 0;
  for (int y = top + 1; y <= bottom; ++y) {
    edges += luminance(image.at(x, y)) - luminance(image.at(x, y - 1)) > 12 ? 1 : 0;
  }
  return edges;
}

TEST_F(BackgroundTest, LevelPadIsARibbedSurfaceApartFromTheDarkPanel) {
  ASSERT_EQ(background.width, 270);
  // Away from its plus and minus marks the pad is ribbed across, in both stepping halves,
  // while the anodised panel above is smooth.
  for (const auto& [top, bottom] : {std::pair{262, 292}, std::pair{310, 340}}) {
    for (const int x : {20, 40, 135, 230, 250}) {
      EXPECT_GE(ribEdges(background, x, top, bottom), 5)
          << "column " << x << ", rows " << top << "-" << bottom;
    }
  }
  for (const int x : {22, 100, 250}) {
    EXPECT_EQ(ribEdges(background, x, 60, 90), 0) << "panel column " << x;
  }
  // The dark pad is set into the light metal body.
  const double pad = meanLuminance(background, 20, 230, 250, 380);
  EXPECT_GT(meanLuminance(background, 0, 230, 10, 380) - pad, 60.0);
  EXPECT_GT(meanLuminance(background, 260, 230, 269, 380) - pad, 60.0);
}

TEST_F(BackgroundTest, LayoutCheckCatchesAMisplacedBox) {
  ASSERT_EQ(background.width, 270);
  Image damaged = background;
  damaged.set(28 + 41, 79 + 10, Rgb{13, 12, 12});  // last pixel of display 0's interior
  EXPECT_EQ(panel_bitmaps::backgroundProblems(damaged).size(), 1u);
  damaged = background;
  damaged.set(145 + 42, 111, Rgb{12, 12, 12});  // display 3's interior one column too wide
  EXPECT_EQ(panel_bitmaps::backgroundProblems(damaged).size(), 1u);
}

}  // namespace
