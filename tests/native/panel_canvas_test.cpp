#include "editor/panel_canvas.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

namespace {

// Two small bitmaps: a 3 x 2 source of distinct words and a 2 x 2 mask.
constexpr std::uint32_t kSource[] = {0x112233, 0x445566, 0x778899, 0xaabbcc, 0xddeeff, 0x0f0f0f};
constexpr std::uint32_t kMask[] = {0xffffff, 0x00ff00, 0x0000ff, 0x000000};

PanelBitmapSet testBitmaps() {
  PanelBitmapSet set;
  set.bitmaps[static_cast<int>(PanelBitmap::knobIndex)] = {3, 2, kSource};
  set.bitmaps[static_cast<int>(PanelBitmap::knobIndexMask)] = {2, 2, kMask};
  return set;  // every other bitmap missing
}

class PanelCanvasTest : public ::testing::Test {
 protected:
  std::unique_ptr<PanelCanvas> canvas = std::make_unique<PanelCanvas>();
  PanelBitmapSet bitmaps = testBitmaps();
};

TEST_F(PanelCanvasTest, StartsBlack) {
  for (int y : {0, 199, 399}) {
    for (int x : {0, 135, 269}) {
      EXPECT_EQ(canvas->at(x, y), 0u);
    }
  }
}

TEST_F(PanelCanvasTest, CopyAndThenXorAreBitwise) {
  const PanelTransfer copy{PanelBitmap::knobIndex, PanelRasterOperation::copy, 10, 20, 3, 2, 0, 0};
  EXPECT_EQ(canvas->transfer(copy, bitmaps), (PanelRect{10, 20, 3, 2}));
  EXPECT_EQ(canvas->at(12, 21), 0x0f0f0fu);
  const PanelTransfer andMask{
      PanelBitmap::knobIndexMask, PanelRasterOperation::andSource, 10, 20, 2, 2, 0, 0};
  canvas->transfer(andMask, bitmaps);
  EXPECT_EQ(canvas->at(10, 20), 0x112233u);
  EXPECT_EQ(canvas->at(11, 20), 0x005500u);
  EXPECT_EQ(canvas->at(10, 21), 0x0000ccu);
  EXPECT_EQ(canvas->at(11, 21), 0u);
  EXPECT_EQ(canvas->at(12, 21), 0x0f0f0fu);  // outside the AND
  const PanelTransfer xorSource{
      PanelBitmap::knobIndex, PanelRasterOperation::xorSource, 10, 20, 3, 2, 0, 0};
  canvas->transfer(xorSource, bitmaps);
  EXPECT_EQ(canvas->at(10, 20), 0u);
  EXPECT_EQ(canvas->at(11, 20), 0x005500u ^ 0x445566u);
  EXPECT_EQ(canvas->at(12, 21), 0u);
}

// Only destination pixels inside the canvas whose source pixel lies inside the bitmap change.
TEST_F(PanelCanvasTest, TransfersAreClippedToTheCanvasAndTheSourceBitmap) {
  struct Case {
    const char* what;
    PanelTransfer transfer;
    PanelRect changed;
  };
  const PanelBitmap src = PanelBitmap::knobIndex;
  const auto copy = PanelRasterOperation::copy;
  const Case cases[] = {
      {"13 x 13 from a 3 x 2 bitmap", {src, copy, 50, 60, 13, 13, 0, 0}, {50, 60, 3, 2}},
      {"source offset inside", {src, copy, 50, 60, 13, 13, 1, 1}, {50, 60, 2, 1}},
      {"source offset before the bitmap", {src, copy, 50, 60, 4, 4, -1, 0}, {51, 60, 3, 2}},
      {"past the left and top edges", {src, copy, -2, -1, 13, 13, 0, 0}, {0, 0, 1, 1}},
      {"past the right and bottom edges", {src, copy, 268, 399, 13, 13, 0, 0}, {268, 399, 2, 1}},
      {"wholly outside", {src, copy, -100, -100, 13, 13, 0, 0}, {}},
      {"empty rectangle", {src, copy, 5, 5, 0, 3, 0, 0}, {}},
      {"missing bitmap", {PanelBitmap::background, copy, 0, 0, 270, 400, 0, 0}, {}},
  };
  for (const Case& c : cases) {
    auto fresh = std::make_unique<PanelCanvas>();
    EXPECT_EQ(fresh->transfer(c.transfer, bitmaps), c.changed) << c.what;
    int written = 0;
    for (int y = 0; y < PanelCanvas::height; ++y) {
      for (int x = 0; x < PanelCanvas::width; ++x) {
        written += fresh->at(x, y) != 0 ? 1 : 0;
      }
    }
    EXPECT_EQ(written, c.changed.width * c.changed.height) << c.what;
  }
}

TEST_F(PanelCanvasTest, AListReportsTheRectangleHoldingEveryChange) {
  PanelTransferList list;
  list.items[0] = {PanelBitmap::knobIndex, PanelRasterOperation::copy, 10, 10, 3, 2, 0, 0};
  list.items[1] = {PanelBitmap::knobIndex, PanelRasterOperation::copy, 100, 5, 3, 2, 0, 0};
  list.items[2] = {PanelBitmap::background, PanelRasterOperation::copy, 0, 0, 270, 400, 0, 0};
  list.count = 3;
  EXPECT_EQ(canvas->transfer(list, bitmaps), (PanelRect{10, 5, 93, 7}));
  EXPECT_EQ(unite({}, {1, 2, 3, 4}), (PanelRect{1, 2, 3, 4}));
  EXPECT_EQ(unite({1, 2, 3, 4}, {}), (PanelRect{1, 2, 3, 4}));
}

}  // namespace
