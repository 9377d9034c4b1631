#include "tools/make_bitmaps/panel_bitmaps.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace panel_bitmaps {
namespace {

struct Span {
  int column;
  int row;
  int columns;
  int rows;
};

// Where each segment sits in the 5 x 9 cell; corners and the two 3 x 3 holes stay background.
constexpr std::array<Span, 7> kSegmentSpans{{
    {1, 0, 3, 1},  // top
    {0, 1, 1, 3},  // upper left
    {4, 1, 1, 3},  // upper right
    {1, 4, 3, 1},  // middle
    {0, 5, 1, 3},  // lower left
    {4, 5, 1, 3},  // lower right
    {1, 8, 3, 1},  // bottom
}};

constexpr std::uint8_t bit(Segment segment) {
  return static_cast<std::uint8_t>(1u << static_cast<unsigned>(segment));
}

constexpr std::uint8_t kAllSegments = 0x7f;

constexpr std::array<std::uint8_t, 10> kDigitSegments{
    kAllSegments & ~bit(Segment::middle),
    bit(Segment::upperRight) | bit(Segment::lowerRight),
    bit(Segment::top) | bit(Segment::upperRight) | bit(Segment::middle) | bit(Segment::lowerLeft) |
        bit(Segment::bottom),
    bit(Segment::top) | bit(Segment::upperRight) | bit(Segment::middle) | bit(Segment::lowerRight) |
        bit(Segment::bottom),
    bit(Segment::upperLeft) | bit(Segment::upperRight) | bit(Segment::middle) |
        bit(Segment::lowerRight),
    bit(Segment::top) | bit(Segment::upperLeft) | bit(Segment::middle) | bit(Segment::lowerRight) |
        bit(Segment::bottom),
    kAllSegments & ~bit(Segment::upperRight),
    bit(Segment::top) | bit(Segment::upperRight) | bit(Segment::lowerRight),
    kAllSegments,
    kAllSegments & ~bit(Segment::lowerLeft),
};

// Grey levels of the knob index, a lit bead whose highlight sits up and to the left.
constexpr std::array<std::array<std::uint8_t, kIndexSize>, kIndexSize> kIndexGreys{{
    {0x00, 0x00, 0x63, 0x5f, 0x00, 0x00},
    {0x00, 0x5c, 0x6b, 0x58, 0x4a, 0x00},
    {0x5e, 0x69, 0xa6, 0x5c, 0x4a, 0x72},
    {0x58, 0x57, 0x5d, 0x52, 0x44, 0x6c},
    {0x00, 0x48, 0x4a, 0x44, 0x3d, 0x00},
    {0x00, 0x00, 0x6e, 0x79, 0x00, 0x00},
}};

// The index's outside corners: white in the mask so that the AND keeps the background there.
constexpr std::array<std::array<int, 2>, 12> kIndexCorners{{
    {0, 0},
    {1, 0},
    {0, 1},
    {4, 0},
    {5, 0},
    {5, 1},
    {0, 4},
    {0, 5},
    {1, 5},
    {5, 4},
    {4, 5},
    {5, 5},
}};

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr std::int32_t kPixelsPerMetre = 2835;  // 72 dots per inch

int rowStride(int width, int bitsPerPixel) {
  return ((width * bitsPerPixel + 31) / 32) * 4;
}

void putU16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xff));
  out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xff));
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  putU16(out, value & 0xffff);
  putU16(out, value >> 16);
}

std::uint32_t getU16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8);
}

std::uint32_t getU32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return getU16(bytes, at) | (getU16(bytes, at + 2) << 16);
}

std::uint8_t paletteIndex(const std::array<Rgb, 16>& palette, Rgb colour) {
  const auto found = std::find(palette.begin(), palette.end(), colour);
  if (found == palette.end()) {
    throw std::invalid_argument("colour missing from the display palette");
  }
  return static_cast<std::uint8_t>(found - palette.begin());
}

std::string describe(Rgb colour) {
  return "(" + std::to_string(colour.red) + ", " + std::to_string(colour.green) + ", " +
         std::to_string(colour.blue) + ")";
}

std::string describeAt(int x, int y) {
  return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
}

}  // namespace

Image::Image(int imageWidth, int imageHeight, Rgb fill)
    : width(imageWidth),
      height(imageHeight),
      pixels(static_cast<std::size_t>(imageWidth) * static_cast<std::size_t>(imageHeight), fill) {}

std::uint8_t litSegments(int digit) {
  if (digit < 0 || digit > 9) {
    return 0;
  }
  return kDigitSegments[static_cast<std::size_t>(digit)];
}

Image digitImage(int digit) {
  Image image(kDigitWidth, kDigitHeight, kDigitBackground);
  const std::uint8_t lit = litSegments(digit);
  for (std::size_t segment = 0; segment < kSegmentSpans.size(); ++segment) {
    const Span& span = kSegmentSpans[segment];
    const Rgb colour = (lit & (1u << segment)) != 0 ? kSegmentLit : kSegmentUnlit;
    for (int row = span.row; row < span.row + span.rows; ++row) {
      for (int column = span.column; column < span.column + span.columns; ++column) {
        image.set(column, row, colour);
      }
    }
  }
  return image;
}

Image pointImage() {
  Image image(kPointWidth, kDigitHeight, kDigitBackground);
  image.set(1, kDigitHeight - 1, kSegmentLit);
  return image;
}

Image minusMarkImage() {
  return Image(kMarkWidth, kMarkHeight, kMinusMarkColour);
}

Image plusMarkImage() {
  return Image(kMarkWidth, kMarkHeight, kPlusMarkColour);
}

Image indexSpriteImage() {
  Image image(kIndexSize, kIndexSize);
  for (int row = 0; row < kIndexSize; ++row) {
    for (int column = 0; column < kIndexSize; ++column) {
      const std::uint8_t grey =
          kIndexGreys[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
      image.set(column, row, Rgb{grey, grey, grey});
    }
  }
  return image;
}

Image indexMaskImage() {
  Image image(kIndexSize, kIndexSize, black);
  for (const auto& corner : kIndexCorners) {
    image.set(corner[0], corner[1], white);
  }
  return image;
}

std::array<Rgb, 16> displayPalette() {
  std::array<Rgb, 16> palette{};
  palette[1] = kDigitBackground;
  palette[2] = kSegmentUnlit;
  palette[3] = kSegmentLit;
  palette[4] = kPlusMarkColour;
  palette[5] = kMinusMarkColour;
  return palette;
}

std::vector<BitmapResource> smallBitmaps() {
  std::vector<BitmapResource> bitmaps;
  bitmaps.push_back({"IDB_BITINDEX", "bitindex.bmp", 24, indexSpriteImage()});
  bitmaps.push_back({"IDB_BITINDMK", "bitindmk.bmp", 24, indexMaskImage()});
  bitmaps.push_back({"IDB_BITNOMBD", "bitnombd.bmp", 4, digitImage(-1)});
  bitmaps.push_back({"IDB_BITNOMBP", "bitnombp.bmp", 4, pointImage()});
  for (int digit = 0; digit <= 9; ++digit) {
    const std::string suffix = std::to_string(digit);
    bitmaps.push_back({"IDB_BITNOMB" + suffix, "bitnomb" + suffix + ".bmp", 4, digitImage(digit)});
  }
  bitmaps.push_back({"IDB_BITMOINS", "bitmoins.bmp", 4, minusMarkImage()});
  bitmaps.push_back({"IDB_BITPLUS", "bitplus.bmp", 4, plusMarkImage()});
  return bitmaps;
}

std::vector<std::uint8_t> encodeBmp(const Image& image, int bitsPerPixel) {
  if (bitsPerPixel != 24 && bitsPerPixel != 4) {
    throw std::invalid_argument("only 24-bit and 4-bit bitmaps are written");
  }
  const auto palette = displayPalette();
  const int paletteEntries = bitsPerPixel == 4 ? 16 : 0;
  const int stride = rowStride(image.width, bitsPerPixel);
  const auto imageSize = static_cast<std::uint32_t>(stride * image.height);
  const auto pixelOffset =
      static_cast<std::uint32_t>(kFileHeaderSize + kInfoHeaderSize + 4 * paletteEntries);

  std::vector<std::uint8_t> out;
  out.reserve(pixelOffset + imageSize);
  out.push_back('B');
  out.push_back('M');
  putU32(out, pixelOffset + imageSize);
  putU32(out, 0);  // two reserved 16-bit words
  putU32(out, pixelOffset);

  putU32(out, kInfoHeaderSize);
  putU32(out, static_cast<std::uint32_t>(image.width));
  putU32(out, static_cast<std::uint32_t>(image.height));  // positive: bottom-up rows
  putU16(out, 1);                                         // planes
  putU16(out, static_cast<std::uint32_t>(bitsPerPixel));
  putU32(out, 0);  // BI_RGB, uncompressed
  putU32(out, imageSize);
  putU32(out, kPixelsPerMetre);
  putU32(out, kPixelsPerMetre);
  putU32(out, static_cast<std::uint32_t>(paletteEntries));
  putU32(out, 0);  // all colours important

  for (int entry = 0; entry < paletteEntries; ++entry) {
    const Rgb& colour = palette[static_cast<std::size_t>(entry)];
    out.push_back(colour.blue);
    out.push_back(colour.green);
    out.push_back(colour.red);
    out.push_back(0);
  }

  for (int row = image.height - 1; row >= 0; --row) {
    const std::size_t rowStart = out.size();
    if (bitsPerPixel == 24) {
      for (int column = 0; column < image.width; ++column) {
        const Rgb colour = image.at(column, row);
        out.push_back(colour.blue);
        out.push_back(colour.green);
        out.push_back(colour.red);
      }
    } else {
      for (int column = 0; column < image.width; column += 2) {
        const auto high = paletteIndex(palette, image.at(column, row));
        const auto low =
            column + 1 < image.width ? paletteIndex(palette, image.at(column + 1, row)) : 0;
        out.push_back(static_cast<std::uint8_t>((high << 4) | low));
      }
    }
    out.resize(rowStart + static_cast<std::size_t>(stride), 0);
  }
  return out;
}

std::optional<DecodedBmp> decodeBmp(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kFileHeaderSize + kInfoHeaderSize || bytes[0] != 'B' || bytes[1] != 'M') {
    return std::nullopt;
  }
  const std::uint32_t pixelOffset = getU32(bytes, 10);
  const std::uint32_t headerSize = getU32(bytes, 14);
  const auto width = static_cast<std::int32_t>(getU32(bytes, 18));
  const auto signedHeight = static_cast<std::int32_t>(getU32(bytes, 22));
  const auto bitsPerPixel = static_cast<int>(getU16(bytes, 28));
  const std::uint32_t compression = getU32(bytes, 30);
  std::uint32_t coloursUsed = getU32(bytes, 46);
  if (headerSize < kInfoHeaderSize || getU16(bytes, 26) != 1 || compression != 0 || width <= 0 ||
      width > 1 << 15 || signedHeight == 0 || signedHeight < -(1 << 15) || signedHeight > 1 << 15) {
    return std::nullopt;
  }
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24) {
    return std::nullopt;
  }
  const int height = signedHeight < 0 ? -signedHeight : signedHeight;

  DecodedBmp decoded;
  decoded.bitsPerPixel = bitsPerPixel;
  if (bitsPerPixel <= 8) {
    const std::uint32_t maximumEntries = 1u << bitsPerPixel;
    if (coloursUsed == 0 || coloursUsed > maximumEntries) {
      coloursUsed = maximumEntries;
    }
    const std::size_t paletteStart = kFileHeaderSize + headerSize;
    if (paletteStart + std::size_t{4} * coloursUsed > bytes.size()) {
      return std::nullopt;
    }
    for (std::uint32_t entry = 0; entry < coloursUsed; ++entry) {
      const std::size_t at = paletteStart + std::size_t{4} * entry;
      decoded.palette.push_back(Rgb{bytes[at + 2], bytes[at + 1], bytes[at]});
    }
  }

  const auto stride = static_cast<std::size_t>(rowStride(width, bitsPerPixel));
  if (pixelOffset > bytes.size() || stride * static_cast<std::size_t>(height) >
                                        bytes.size() - static_cast<std::size_t>(pixelOffset)) {
    return std::nullopt;
  }
  decoded.image = Image(width, height);
  for (int fileRow = 0; fileRow < height; ++fileRow) {
    const int row = signedHeight > 0 ? height - 1 - fileRow : fileRow;
    const std::size_t rowStart = pixelOffset + stride * static_cast<std::size_t>(fileRow);
    for (int column = 0; column < width; ++column) {
      Rgb colour;
      if (bitsPerPixel == 24) {
        const std::size_t at = rowStart + 3 * static_cast<std::size_t>(column);
        colour = Rgb{bytes[at + 2], bytes[at + 1], bytes[at]};
      } else {
        const std::size_t bitPosition =
            static_cast<std::size_t>(column) * static_cast<std::size_t>(bitsPerPixel);
        const std::uint8_t packed = bytes[rowStart + bitPosition / 8];
        const auto shift = static_cast<unsigned>(8 - bitsPerPixel - bitPosition % 8);
        const unsigned index = (packed >> shift) & ((1u << bitsPerPixel) - 1);
        if (index >= decoded.palette.size()) {
          return std::nullopt;
        }
        colour = decoded.palette[index];
      }
      decoded.image.set(column, row, colour);
    }
  }
  return decoded;
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot read " + path.string());
  }
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

std::vector<std::filesystem::path> writeSmallBitmaps(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> written;
  for (const BitmapResource& bitmap : smallBitmaps()) {
    const std::filesystem::path path = folder / bitmap.fileName;
    writeFile(path, encodeBmp(bitmap.image, bitmap.bitsPerPixel));
    written.push_back(path);
  }
  return written;
}

Image imageFromRgba(const std::uint8_t* rgba, int width, int height) {
  Image image(width, height);
  // Rounded integer blend onto black, so that fully opaque pixels keep their exact values.
  const auto over = [](std::uint8_t channel, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((channel * alpha + 127) / 255);
  };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* pixel = rgba + 4 * (static_cast<std::size_t>(y) * width + x);
      image.set(x, y,
                Rgb{over(pixel[0], pixel[3]), over(pixel[1], pixel[3]), over(pixel[2], pixel[3])});
    }
  }
  return image;
}

std::vector<std::string> backgroundProblems(const Image& background) {
  std::vector<std::string> problems;
  if (background.width != kPanelWidth || background.height != kPanelHeight) {
    problems.push_back("background is " + std::to_string(background.width) + " x " +
                       std::to_string(background.height) + ", not 270 x 400");
    return problems;
  }
  for (std::size_t control = 0; control < kControlPositions.size(); ++control) {
    const ControlPosition& place = kControlPositions[control];
    const int left = place.displayX + kInteriorLeft;
    const int top = place.displayY + kInteriorTop;
    const std::string name = "display " + std::to_string(control);
    // Every pixel of the interior, and none of the one-pixel ring around it, has the interior
    // colour: that pins the box to the exact place where the digits land.
    for (int y = top - 1; y <= top + kInteriorHeight; ++y) {
      for (int x = left - 1; x <= left + kInteriorWidth; ++x) {
        const bool inside =
            x >= left && x < left + kInteriorWidth && y >= top && y < top + kInteriorHeight;
        const bool isInterior = background.at(x, y) == kDisplayInterior;
        if (inside && !isInterior) {
          problems.push_back(name + ": interior pixel " + describeAt(x, y) + " is " +
                             describe(background.at(x, y)));
        } else if (!inside && isInterior) {
          problems.push_back(name + ": frame pixel " + describeAt(x, y) +
                             " has the interior colour");
        }
      }
    }
    for (int half = 0; half < 2; ++half) {
      const int buttonTop = place.buttonY + 8 * half;
      int darkest = 255;
      int brightest = 0;
      for (int y = buttonTop; y < buttonTop + 8; ++y) {
        for (int x = place.buttonX; x < place.buttonX + 9; ++x) {
          const Rgb colour = background.at(x, y);
          const int level = (colour.red + colour.green + colour.blue) / 3;
          darkest = std::min(darkest, level);
          brightest = std::max(brightest, level);
        }
      }
      if (brightest - darkest < 64) {
        problems.push_back(name + (half == 0 ? ": up" : ": down") + " button shows no arrow at " +
                           describeAt(place.buttonX, buttonTop));
      }
    }
  }
  return problems;
}

}  // namespace panel_bitmaps
