#include "editor/panel_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

class PanelLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override { resetPanelControlTable(); }
  void TearDown() override { resetPanelControlTable(); }
  PanelControlTable& table = panelControlTable;
};

TEST_F(PanelLayoutTest, ResetRestoresTheLoadTimeContents) {
  table.value[0] = 0.9f;
  table.dirty[1] = 1;
  table.dragging[2] = 1;
  resetPanelControlTable();
  const std::int32_t dirty[] = {0, 0, 1, 1};
  const float value[] = {0.5f, 0.5f, 0.5f, 0.2f};
  for (int i = 0; i < kPanelControlCount; ++i) {
    EXPECT_EQ(table.dirty[i], dirty[i]) << i;
    EXPECT_EQ(table.value[i], value[i]) << i;
    EXPECT_EQ(table.dragging[i], 0) << i;
    EXPECT_EQ(table.maximum[i], 1.0f) << i;
  }
  EXPECT_EQ(table.knobX[3], -100);
  EXPECT_EQ(table.buttonX[2], 231);
}

TEST_F(PanelLayoutTest, KnobOffsetsAlongTheSweep) {
  const struct {
    float ratio;
    KnobIndexOffset offset;
  } cases[] = {{0.0f, {16, 31}}, {0.1f, {11, 27}},  {0.2f, {9, 21}},  {0.25f, {9, 19}},
               {0.5f, {21, 9}},  {0.75f, {32, 19}}, {0.9f, {30, 27}}, {1.0f, {25, 31}},
               {1.1f, {19, 32}}};  // past the maximum: not limited
  for (const auto& c : cases) {
    const KnobIndexOffset got = knobIndexOffsetFor(c.ratio, 1.0f);
    EXPECT_EQ(got.x, c.offset.x) << c.ratio;
    EXPECT_EQ(got.y, c.offset.y) << c.ratio;
  }
  EXPECT_EQ(knobIndexOffsetFor(1.0f, 2.0f), (KnobIndexOffset{21, 9}));  // ratio, not value
}

TEST_F(PanelLayoutTest, KnobOffsetWithoutAnAngleSitsOnTheCentre) {
  constexpr float inf = std::numeric_limits<float>::infinity();
  for (const float value : {std::nanf(""), inf, -inf}) {
    EXPECT_EQ(knobIndexOffsetFor(value, 1.0f), (KnobIndexOffset{21, 20})) << value;
  }
  EXPECT_EQ(knobIndexOffsetFor(0.0f, 0.0f), (KnobIndexOffset{21, 20}));
}

// Tens, units, tenths; -1 is a blank place.
struct DisplayCase {
  float value;
  bool negative;
  std::int32_t tens, units, tenths;
};

TEST_F(PanelLayoutTest, DisplayCellsWithTwoIntegerAndOneFractionPlace) {
  constexpr float inf = std::numeric_limits<float>::infinity();
  const DisplayCase cases[] = {
      {0.0f, false, -1, 0, 0},
      {0.05f, false, -1, 0, 5},
      {0.35f, false, -1, 3, 5},  // 0.35f * 100 rounds to 35 before truncation
      {0.5f, false, -1, 5, 0},
      {0.999f, false, -1, 9, 9},
      {1.0f, false, 1, 0, 0},
      {12.34f, false, 2, 3, 4},  // hundreds are not shown
      {-0.25f, true, -1, 2, 5},
      {-0.005f, true, -1, 0, 0},
      {-0.0f, false, -1, 0, 0},
      {21474834.0f, false, 3, 9, 2},  // 2147483392, the largest product below 2^31
      {21474836.0f, false, 6, 4, 7},  // rounds to 2^31: held at 2147483647
      {1e30f, false, 6, 4, 7},
      {-1e30f, true, 6, 4, 7},
      {inf, false, 6, 4, 7},
      {-inf, true, 6, 4, 7},
      {std::nanf(""), false, -1, 0, 0},
      {-std::nanf(""), false, -1, 0, 0},
  };
  for (const DisplayCase& c : cases) {
    const DisplayCells cells = displayCellsFor(c.value, 2, 1);
    EXPECT_EQ(cells.negative, c.negative) << c.value;
    ASSERT_EQ(cells.integerCount, 2);
    ASSERT_EQ(cells.fractionCount, 1);
    EXPECT_EQ(cells.integerPlaces[0], c.tens) << c.value;
    EXPECT_EQ(cells.integerPlaces[1], c.units) << c.value;
    EXPECT_EQ(cells.fractionPlaces[0], c.tenths) << c.value;
  }
}

TEST_F(PanelLayoutTest, DisplayCellsWithOtherPlaceCounts) {
  const DisplayCells wide = displayCellsFor(1.5f, 3, 2);  // 150
  EXPECT_EQ(std::vector<std::int32_t>(wide.integerPlaces, wide.integerPlaces + 3),
            (std::vector<std::int32_t>{kBlankDigit, kBlankDigit, 1}));
  EXPECT_EQ(std::vector<std::int32_t>(wide.fractionPlaces, wide.fractionPlaces + 2),
            (std::vector<std::int32_t>{5, 0}));
  const DisplayCells whole = displayCellsFor(0.07f, 1, 0);  // 7, no fraction places at all
  EXPECT_EQ(whole.fractionCount, 0);
  EXPECT_EQ(whole.integerPlaces[0], 7);
}

TEST_F(PanelLayoutTest, DisplayDrawOfEveryControlInWindowCoordinates) {
  const struct {
    std::int32_t index, signX, signY, tensX, unitsX, pointX, tenthsX, digitY;
  } cases[] = {{0, 44, 82, 48, 55, 61, 64, 79},
               {1, 120, 82, 124, 131, 137, 140, 79},
               {2, 201, 82, 205, 212, 218, 221, 79},
               {3, 161, 114, 165, 172, 178, 181, 111}};
  for (const auto& c : cases) {
    table.value[c.index] = -0.25f;
    table.dirty[c.index] = 1;
    const PanelTransferList list = takeDisplayDraw(c.index);
    EXPECT_EQ(table.dirty[c.index], 0);
    using enum PanelBitmap;
    constexpr auto copy = PanelRasterOperation::copy;
    const std::vector<PanelTransfer> expected = {
        {minusMark, copy, c.signX, c.signY, 3, 1, 0, 0},
        {digit5, copy, c.tenthsX, c.digitY, 5, 9, 0, 0},
        {decimalPoint, copy, c.pointX, c.digitY, 5, 9, 0, 0},
        {digit2, copy, c.unitsX, c.digitY, 5, 9, 0, 0},
        {kBlankDigit, copy, c.tensX, c.digitY, 5, 9, 0, 0},
    };
    EXPECT_EQ(std::vector<PanelTransfer>(list.begin(), list.end()), expected) << c.index;
  }
}

TEST_F(PanelLayoutTest, DisplayWithoutFractionPlacesHasNoPoint) {
  table.fractionDigits[3] = 0;
  for (const PanelTransfer& t : takeDisplayDraw(3)) {
    EXPECT_NE(t.source, PanelBitmap::decimalPoint);
  }
}

TEST_F(PanelLayoutTest, KnobDrawErasesTheOldIndexThenDrawsTheNewOne) {
  table.dirty[0] = 1;
  const KnobControlDraw draw = takeKnobControlDraw(0, {22, 22});
  EXPECT_EQ(table.dirty[0], 0);
  EXPECT_EQ(draw.newOffset, (KnobIndexOffset{21, 9}));
  ASSERT_EQ(draw.transfers.count, 3 + 5);
  using enum PanelBitmap;
  using enum PanelRasterOperation;
  EXPECT_EQ(draw.transfers.items[0], (PanelTransfer{background, copy, 53, 41, 13, 13, 53, 41}));
  EXPECT_EQ(draw.transfers.items[1],
            (PanelTransfer{knobIndexMask, andSource, 52, 28, 13, 13, 0, 0}));
  EXPECT_EQ(draw.transfers.items[2], (PanelTransfer{knobIndex, xorSource, 52, 28, 13, 13, 0, 0}));
  EXPECT_EQ(draw.transfers.items[3].source, plusMark);  // then the display
}

TEST_F(PanelLayoutTest, KnobDrawOfTheLevelStaysOutsideTheWindow) {
  const KnobControlDraw draw = takeKnobControlDraw(3, {22, 22});
  EXPECT_EQ(draw.newOffset, knobIndexOffsetFor(0.2f, 1.0f));
  for (int k = 0; k < 3; ++k) {
    const PanelTransfer& t = draw.transfers.items[k];
    EXPECT_LE(t.x + t.width, 0);
    EXPECT_LE(t.y + t.height, 0);
  }
  EXPECT_EQ(draw.transfers.count, 3 + 5);
}

TEST_F(PanelLayoutTest, OnlyADirtyFlagOfExactlyOneDraws) {
  for (const std::int32_t flag : {0, 2, -1}) {
    table.dirty[1] = flag;
    EXPECT_FALSE(controlNeedsDraw(1)) << flag;
  }
  table.dirty[1] = 1;
  EXPECT_TRUE(controlNeedsDraw(1));
}

TEST_F(PanelLayoutTest, KnobValueUsesTheControlsOwnCentreAndMaximum) {
  const double straightLeft = 1.0 * kKnobLeftAngle / kKnobSweep;
  // Control 1's centre is (134, 43); distance does not matter, only direction.
  for (const std::int32_t x : {119, 133, -5000}) {
    table.dirty[1] = 0;
    knobValueFromPoint(x, 43, 1);
    EXPECT_EQ(table.value[1], static_cast<float>(straightLeft)) << x;
    EXPECT_EQ(table.dirty[1], 1);
  }
  table.maximum[2] = 2.0f;
  knobValueFromPoint(218, 0, 2);  // straight above (218, 43)
  EXPECT_EQ(table.value[2], 1.0f);
  knobValueFromPoint(300, 43, 2);
  EXPECT_EQ(table.value[2], static_cast<float>(2.0 * (5.497787144 - 1.178097245) / 5.497787144));
  EXPECT_EQ(table.value[0], 0.5f);  // other controls untouched
}

TEST_F(PanelLayoutTest, KnobValueStraightBelowOrOnTheCentreIsKept) {
  for (const std::int32_t y : {43, 44, 1000}) {
    table.value[0] = 0.3f;
    table.dirty[0] = 0;
    knobValueFromPoint(55, y, 0);
    EXPECT_EQ(table.value[0], 0.3f) << y;
    EXPECT_EQ(table.dirty[0], 1) << y;
  }
}

TEST_F(PanelLayoutTest, StepsSumInDoubleAndStayInRange) {
  const struct {
    float start;
    double step;
    float expected;
    bool floatSumDiffers;  // picked so that a sum of two floats would round elsewhere
  } cases[] = {
      {0.006f, kFineStep, static_cast<float>(double{0.006f} + 0.01), true},
      {0.011f, -kFineStep, static_cast<float>(double{0.011f} - 0.01), true},
      {0.01f, kCoarseStep, static_cast<float>(double{0.01f} + 0.05), true},
      {0.051f, -kCoarseStep, static_cast<float>(double{0.051f} - 0.05), true},
      {0.995f, kFineStep, 1.0f, false},
      {0.005f, -kFineStep, 0.0f, false},
      {1.5f, -kFineStep, 1.0f, false},
      {-0.5f, kFineStep, 0.0f, false},
  };
  for (const auto& c : cases) {
    table.value[2] = c.start;
    table.dirty[2] = 0;
    stepControlValue(2, c.step);
    EXPECT_EQ(table.value[2], c.expected) << c.start << " " << c.step;
    EXPECT_EQ(table.dirty[2], 1);
    if (c.floatSumDiffers) {
      EXPECT_NE(c.expected, c.start + static_cast<float>(c.step));
    }
  }
}

}  // namespace
