// Pixel tables of the panel's small bitmaps, the BMP files that carry them into the plug-in's
// resources, and the layout facts that the background picture has to respect.
//
// The editor draws these bitmaps with plain block transfers (copy, AND, XOR), so every pixel
// here is load-bearing: the digit colours must match the display interior they are copied
// onto, and the index sprite is black exactly where its mask is white.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace panel_bitmaps {

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A picture in window orientation: row 0 is the top row.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;

  Image() = default;
  Image(int imageWidth, int imageHeight, Rgb fill = {});
  Rgb at(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
  void set(int x, int y, Rgb colour) {
    pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
           static_cast<std::size_t>(x)] = colour;
  }
  friend bool operator==(const Image&, const Image&) = default;
};

inline constexpr Rgb black{0, 0, 0};
inline constexpr Rgb white{255, 255, 255};
inline constexpr Rgb kDigitBackground{15, 15, 15};
inline constexpr Rgb kSegmentLit{102, 224, 255};
inline constexpr Rgb kSegmentUnlit{0, 60, 74};
inline constexpr Rgb kMinusMarkColour{0, 255, 255};
inline constexpr Rgb kPlusMarkColour{0, 0, 128};
inline constexpr Rgb kDisplayInterior{12, 12, 12};

inline constexpr int kDigitWidth = 5;
inline constexpr int kDigitHeight = 9;
inline constexpr int kPointWidth = 3;
inline constexpr int kMarkWidth = 3;
inline constexpr int kMarkHeight = 1;
inline constexpr int kIndexSize = 6;
inline constexpr int kPanelWidth = 270;
inline constexpr int kPanelHeight = 400;

// Seven-segment order used for the bit masks of litSegments().
enum class Segment { top, upperLeft, upperRight, middle, lowerLeft, lowerRight, bottom };

// Bit (1 << Segment) is set for every segment that digit 0..9 lights.
std::uint8_t litSegments(int digit);

// digit 0..9 gives that figure; any other value gives the blank digit (every segment unlit).
Image digitImage(int digit);
Image pointImage();
Image minusMarkImage();
Image plusMarkImage();
Image indexSpriteImage();
Image indexMaskImage();

// The one palette shared by all 4-bit bitmaps; unused entries are black.
std::array<Rgb, 16> displayPalette();

// One bitmap resource: the name the editor loads it by, its file in resources/ and its depth.
struct BitmapResource {
  std::string resourceName;
  std::string fileName;
  int bitsPerPixel = 24;
  Image image;
};

// The sixteen small bitmaps, in resource-script order: every resource but IDB_BITFOND.
std::vector<BitmapResource> smallBitmaps();

// Uncompressed bottom-up Windows BMP (file header + BITMAPINFOHEADER). bitsPerPixel is 24, or 4
// with displayPalette(); throws std::invalid_argument for other depths or for a colour that the
// palette lacks.
std::vector<std::uint8_t> encodeBmp(const Image& image, int bitsPerPixel);

struct DecodedBmp {
  Image image;
  int bitsPerPixel = 0;
  std::vector<Rgb> palette;
};

// Reads the subset that encodeBmp writes (24-bit, or 1/4/8-bit with a palette; uncompressed;
// either row order). Returns nothing for anything else or for a truncated file.
std::optional<DecodedBmp> decodeBmp(std::span<const std::uint8_t> bytes);

std::vector<std::uint8_t> readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Writes every small bitmap into folder (which must exist) and returns the paths written.
std::vector<std::filesystem::path> writeSmallBitmaps(const std::filesystem::path& folder);

// Flattens an RGBA picture (as rendered from the panel's vector source) onto black.
Image imageFromRgba(const std::uint8_t* rgba, int width, int height);

// Window positions of the controls that the background picture has to line up with.
struct ControlPosition {
  int displayX;
  int displayY;
  int buttonX;
  int buttonY;
};
inline constexpr std::array<ControlPosition, 4> kControlPositions{{
    {28, 79, 73, 75},
    {104, 79, 150, 75},
    {185, 79, 231, 75},
    {145, 111, 191, 107},
}};
// The digits are drawn over this part of each display box, relative to (displayX, displayY).
inline constexpr int kInteriorLeft = 10;
inline constexpr int kInteriorTop = -3;
inline constexpr int kInteriorWidth = 32;
inline constexpr int kInteriorHeight = 14;

// What is wrong with a background picture, one line per fault; empty when it fits the layout.
std::vector<std::string> backgroundProblems(const Image& background);

}  // namespace panel_bitmaps
