#include "editor/panel_layout.h"

#include <cmath>

constinit PanelControlTable panelControlTable = kPanelControlTableAtLoad;

void resetPanelControlTable() {
  panelControlTable = kPanelControlTableAtLoad;
}

namespace {

constexpr double kLargestInt32 = 2147483647.0;

// Truncation toward zero that is defined for every double: out-of-range magnitudes are held at
// the int32 limit and NaN counts as 0, where a bare conversion would be undefined.
std::int32_t truncateTowardZero(double v) {
  if (std::isnan(v)) {
    return 0;
  }
  if (v > kLargestInt32) {
    v = kLargestInt32;
  } else if (v < -kLargestInt32) {
    v = -kLargestInt32;
  }
  return static_cast<std::int32_t>(v);
}

void push(PanelTransferList& list, const PanelTransfer& transfer) {
  if (list.count < kMaxPanelTransfers) {
    list.items[list.count++] = transfer;
  }
}

std::int32_t limitPlaces(std::int32_t count) {
  return count < 0 ? 0 : (count > kMaxDisplayPlaces ? kMaxDisplayPlaces : count);
}

void appendDisplayTransfers(PanelTransferList& list, float value, std::int32_t x0, std::int32_t y0,
                            std::int32_t integerDigits, std::int32_t fractionDigits) {
  const DisplayCells cells = displayCellsFor(value, integerDigits, fractionDigits);
  push(list,
       {cells.negative ? PanelBitmap::minusMark : PanelBitmap::plusMark, PanelRasterOperation::copy,
        x0 + kDisplaySignX, y0 + kDisplaySignY, kDisplaySignWidth, kDisplaySignHeight, 0, 0});
  // Right to left, as the places fall out of the number; the point after the fraction places so
  // that its 5-pixel rectangle, wider than the 3-pixel bitmap, cannot touch the first of them.
  for (std::int32_t k = cells.fractionCount - 1; k >= 0; --k) {
    push(list, {digitBitmap(cells.fractionPlaces[k]), PanelRasterOperation::copy,
                x0 + displayFractionPlaceX(k), y0, kDisplayCellWidth, kDisplayCellHeight, 0, 0});
  }
  if (cells.fractionCount != 0) {
    push(list, {PanelBitmap::decimalPoint, PanelRasterOperation::copy, x0 + kDisplayPointX, y0,
                kDisplayCellWidth, kDisplayCellHeight, 0, 0});
  }
  for (std::int32_t j = cells.integerCount - 1; j >= 0; --j) {
    const std::int32_t place = cells.integerPlaces[j];
    push(list, {place == kBlankDigit ? PanelBitmap::kBlankDigit : digitBitmap(place),
                PanelRasterOperation::copy, x0 + displayIntegerPlaceX(j), y0, kDisplayCellWidth,
                kDisplayCellHeight, 0, 0});
  }
}

}  // namespace

KnobIndexOffset knobIndexOffsetFor(float value, float maximum) {
  const double ratio = static_cast<double>(value) / static_cast<double>(maximum);
  const double angle = ratio * kKnobSweep + (kPanelPi / 2 - kKnobLeftAngle);
  return {21 - truncateTowardZero(12 * std::sin(angle) + 0.5),
          20 + truncateTowardZero(12 * std::cos(angle) + 0.5)};
}

void knobValueFromPoint(std::int32_t x, std::int32_t y, std::int32_t index) {
  PanelControlTable& table = panelControlTable;
  table.dirty[index] = 1;
  // 64-bit so that no pointer position can overflow the difference.
  const std::int64_t dx = std::int64_t{x} - table.knobX[index] - kKnobCentreOffset;
  const std::int64_t dy = std::int64_t{table.knobY[index]} + kKnobCentreOffset - y;
  if (dx == 0) {
    if (dy > 0) {
      table.value[index] = table.maximum[index] / 2;
    }
    return;
  }
  const double a = std::atan(static_cast<double>(dy) / static_cast<double>(dx));
  double angle = dx < 0 ? kKnobLeftAngle - a : (kKnobSweep - kKnobLeftAngle) - a;
  if (angle < 0) {
    angle = 0;
  }
  if (angle > kKnobSweep) {
    angle = kKnobSweep;
  }
  table.value[index] =
      static_cast<float>(static_cast<double>(table.maximum[index]) * angle / kKnobSweep);
}

void stepControlValue(std::int32_t index, double step) {
  PanelControlTable& table = panelControlTable;
  table.value[index] = static_cast<float>(static_cast<double>(table.value[index]) + step);
  table.dirty[index] = 1;
  if (table.value[index] > table.maximum[index]) {
    table.value[index] = table.maximum[index];
  }
  if (table.value[index] < 0) {
    table.value[index] = 0;
  }
}

DisplayCells displayCellsFor(float value, std::int32_t integerDigits, std::int32_t fractionDigits) {
  // Rounded to float before anything else: 0.35f * 100 lies just below 35 and must show 3.5.
  const float a = value * 100.0f;
  DisplayCells cells{};
  cells.negative = a < 0;
  cells.integerCount = limitPlaces(integerDigits);
  cells.fractionCount = limitPlaces(fractionDigits);
  std::int32_t n = truncateTowardZero(std::fabs(static_cast<double>(a)));
  for (std::int32_t k = cells.fractionCount - 1; k >= 0; --k) {
    cells.fractionPlaces[k] = n % 10;
    n /= 10;
  }
  for (std::int32_t j = cells.integerCount - 1; j >= 0; --j) {
    const bool unitsPlace = j == cells.integerCount - 1;
    cells.integerPlaces[j] = (n > 0 || unitsPlace) ? n % 10 : kBlankDigit;
    n /= 10;
  }
  return cells;
}

bool controlNeedsDraw(std::int32_t index) {
  return panelControlTable.dirty[index] == 1;
}

KnobControlDraw takeKnobControlDraw(std::int32_t index, KnobIndexOffset lastDrawn) {
  PanelControlTable& table = panelControlTable;
  const float value = table.value[index];
  const float maximum = table.maximum[index];
  table.dirty[index] = 0;

  KnobControlDraw draw{};
  draw.newOffset = knobIndexOffsetFor(value, maximum);
  const std::int32_t knobX = table.knobX[index];
  const std::int32_t knobY = table.knobY[index];
  // The background covers the window from its origin, so copying its own patch back erases the
  // old index exactly.
  const std::int32_t oldX = knobX + lastDrawn.x;
  const std::int32_t oldY = knobY + lastDrawn.y;
  push(draw.transfers, {PanelBitmap::background, PanelRasterOperation::copy, oldX, oldY,
                        kKnobIndexSquare, kKnobIndexSquare, oldX, oldY});
  const std::int32_t newX = knobX + draw.newOffset.x;
  const std::int32_t newY = knobY + draw.newOffset.y;
  push(draw.transfers, {PanelBitmap::knobIndexMask, PanelRasterOperation::andSource, newX, newY,
                        kKnobIndexSquare, kKnobIndexSquare, 0, 0});
  push(draw.transfers, {PanelBitmap::knobIndex, PanelRasterOperation::xorSource, newX, newY,
                        kKnobIndexSquare, kKnobIndexSquare, 0, 0});
  appendDisplayTransfers(draw.transfers, value, table.displayX[index], table.displayY[index],
                         table.integerDigits[index], table.fractionDigits[index]);
  return draw;
}

PanelTransferList takeDisplayDraw(std::int32_t index) {
  PanelControlTable& table = panelControlTable;
  const float value = table.value[index];
  table.dirty[index] = 0;
  PanelTransferList transfers;
  appendDisplayTransfers(transfers, value, table.displayX[index], table.displayY[index],
                         table.integerDigits[index], table.fractionDigits[index]);
  return transfers;
}
