// Where the panel's controls sit, what they show and how a knob maps to and from a value.
// Nothing here touches the window system: the panel asks these functions what to transfer and
// where, and its canvas performs the transfers.
#pragma once

#include <cstdint>

inline constexpr std::int32_t kPanelControlCount = 4;
inline constexpr std::int32_t kPanelWidth = 270;
inline constexpr std::int32_t kPanelHeight = 400;

// Ten-digit decimal constants, used exactly as written: the knob index positions and the inverse
// mapping from a pointer position depend on these precise values, not on full-precision pi.
inline constexpr double kKnobSweep = 5.497787144;      // radians from value 0 to the maximum
inline constexpr double kKnobLeftAngle = 1.178097245;  // radians from the start to straight left
inline constexpr double kPanelPi = 3.141592654;

// Process-wide per-control columns, shared by every panel in the process. Each editor copies its
// own values in before it paints or handles the mouse.
struct PanelControlTable {
  std::int32_t dirty[kPanelControlCount];  // only exactly 1 makes the next draw call run
  float value[kPanelControlCount];
  float maximum[kPanelControlCount];
  std::int32_t dragging[kPanelControlCount];
  std::int32_t knobX[kPanelControlCount];  // top-left corner of the 40 x 40 knob box
  std::int32_t knobY[kPanelControlCount];
  std::int32_t displayX[kPanelControlCount];  // display origin; displayY is the top digit row
  std::int32_t displayY[kPanelControlCount];
  std::int32_t buttonX[kPanelControlCount];  // top-left corner of the plus/minus pair
  std::int32_t buttonY[kPanelControlCount];
  std::int32_t integerDigits[kPanelControlCount];
  std::int32_t fractionDigits[kPanelControlCount];
};

// Contents when the library loads. Control 3 has no knob: (-100, -100) keeps anything drawn for
// its knob outside the window.
inline constexpr PanelControlTable kPanelControlTableAtLoad = {
    .dirty = {0, 0, 1, 1},
    .value = {0.5f, 0.5f, 0.5f, 0.2f},
    .maximum = {1.0f, 1.0f, 1.0f, 1.0f},
    .dragging = {0, 0, 0, 0},
    .knobX = {31, 110, 194, -100},
    .knobY = {19, 19, 19, -100},
    .displayX = {28, 104, 185, 145},
    .displayY = {79, 79, 79, 111},
    .buttonX = {73, 150, 231, 191},
    .buttonY = {75, 75, 75, 107},
    .integerDigits = {2, 2, 2, 2},
    .fractionDigits = {1, 1, 1, 1},
};

extern PanelControlTable panelControlTable;

// Puts the table back to its load-time contents (tests start from a known table).
void resetPanelControlTable();

// ---- Knob index -------------------------------------------------------------------------------

// Top-left corner of the 6 x 6 index sprite relative to (knobX, knobY).
struct KnobIndexOffset {
  std::int32_t x;
  std::int32_t y;
  friend bool operator==(const KnobIndexOffset&, const KnobIndexOffset&) = default;
};

// Offset at which the index is drawn for value / maximum along the sweep. Values past the maximum
// are not limited. A value that gives no angle (NaN, infinite) puts the index at (21, 20).
KnobIndexOffset knobIndexOffsetFor(float value, float maximum);

inline constexpr std::int32_t kKnobCentreOffset = 24;  // centre is (knobX + 24, knobY + 24)

// Sets value[index] from the pointer's direction seen from the knob's centre and marks the control
// dirty. Straight below the centre, or on it, leaves the value as it was.
void knobValueFromPoint(std::int32_t x, std::int32_t y, std::int32_t index);

// ---- Stepping ---------------------------------------------------------------------------------

inline constexpr double kFineStep = 0.01;    // plus and minus buttons
inline constexpr double kCoarseStep = 0.05;  // the two large areas

// Adds step to value[index] (summed in double, stored as float), marks it dirty and keeps the
// result within 0..maximum.
void stepControlValue(std::int32_t index, double step);

// ---- Numeric display --------------------------------------------------------------------------

inline constexpr std::int32_t kMaxDisplayPlaces = 10;  // an int32 magnitude has at most 10 digits
inline constexpr std::int32_t kBlankDigit = -1;

// What a display shows: the value times 100 (rounded to float), truncated, split into places.
struct DisplayCells {
  bool negative;
  std::int32_t integerCount;                       // integerDigits, limited to 0..maxDisplayPlaces
  std::int32_t fractionCount;                      // fractionDigits, limited likewise
  std::int32_t integerPlaces[kMaxDisplayPlaces];   // j = 0 is the leftmost; 0..9 or kBlankDigit
  std::int32_t fractionPlaces[kMaxDisplayPlaces];  // k = 0 is the first after the point; 0..9
};

// A magnitude of 2^31 or more (times 100) shows as 2^31 - 1 would; NaN shows as 0 without the
// minus mark.
DisplayCells displayCellsFor(float value, std::int32_t integerDigits, std::int32_t fractionDigits);

// Cell positions relative to (displayX, displayY).
inline constexpr std::int32_t kDisplaySignX = 16;
inline constexpr std::int32_t kDisplaySignY = 3;
inline constexpr std::int32_t kDisplaySignWidth = 3;
inline constexpr std::int32_t kDisplaySignHeight = 1;
inline constexpr std::int32_t kDisplayPointX = 33;
inline constexpr std::int32_t kDisplayCellWidth = 5;  // digits, blanks and the point alike
inline constexpr std::int32_t kDisplayCellHeight = 9;
constexpr std::int32_t displayIntegerPlaceX(std::int32_t j) {
  return 20 + 7 * j;
}
constexpr std::int32_t displayFractionPlaceX(std::int32_t k) {
  return 36 + 7 * k;
}

// ---- Drawing plans ----------------------------------------------------------------------------
// A draw call is a short list of block transfers from one panel bitmap into the window. The plans
// below list them in drawing order; the platform code selects the named bitmap and transfers.

enum class PanelBitmap : std::uint8_t {
  background,
  knobIndex,
  knobIndexMask,
  kBlankDigit,
  decimalPoint,
  digit0,
  digit1,
  digit2,
  digit3,
  digit4,
  digit5,
  digit6,
  digit7,
  digit8,
  digit9,
  minusMark,
  plusMark,
};

constexpr PanelBitmap digitBitmap(std::int32_t digit) {
  return static_cast<PanelBitmap>(static_cast<std::int32_t>(PanelBitmap::digit0) + digit);
}

enum class PanelRasterOperation : std::uint8_t {
  copy,       // destination = source
  andSource,  // destination = destination AND source
  xorSource,  // destination = destination XOR source
};

struct PanelTransfer {
  PanelBitmap source;
  PanelRasterOperation operation;
  std::int32_t x;  // destination rectangle in window pixels
  std::int32_t y;
  std::int32_t width;
  std::int32_t height;
  std::int32_t sourceX;
  std::int32_t sourceY;
  friend bool operator==(const PanelTransfer&, const PanelTransfer&) = default;
};

inline constexpr std::int32_t kMaxPanelTransfers = 3 + 2 + 2 * kMaxDisplayPlaces;

struct PanelTransferList {
  std::int32_t count = 0;
  PanelTransfer items[kMaxPanelTransfers];

  const PanelTransfer* begin() const { return items; }
  const PanelTransfer* end() const { return items + count; }
};

inline constexpr std::int32_t kKnobIndexSquare = 13;  // erased and drawn as 13 x 13 rectangles

// True when a draw call for the control should run: dirty[index] is exactly 1.
bool controlNeedsDraw(std::int32_t index);

struct KnobControlDraw {
  KnobIndexOffset newOffset;  // the editor stores it for the next erase
  PanelTransferList transfers;
};

// Reads the control from the table, clears its dirty flag and plans a knob control draw: erase
// the index last drawn at lastDrawn, draw it at its new place, then the display.
KnobControlDraw takeKnobControlDraw(std::int32_t index, KnobIndexOffset lastDrawn);

// Reads the control from the table, clears its dirty flag and plans its display alone.
PanelTransferList takeDisplayDraw(std::int32_t index);
