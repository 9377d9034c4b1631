// Left-button presses and mouse moves over the panel, worked out on the process-wide control
// table. The panel window reads the pointer (client coordinates), supplies its editor, if one is
// attached, and the display drawing, and calls these.
#pragma once

#include <cstdint>

// The editor operations the mouse handling calls. The panel window wraps its PanelEditor in one
// of these for the duration of one pointer event.
class PanelEditorActions {
 public:
  virtual void restoreValues() = 0;
  virtual void saveValues() = 0;
  virtual void setParameterFromPanel(float value, std::int32_t index) = 0;
  virtual void drawKnobControl(std::int32_t index) = 0;  // on the window of this message

 protected:
  ~PanelEditorActions() = default;
};

struct PanelInputContext {
  // Null while no editor is stored in the window: the table still changes and control 3's display
  // is still drawn, but nothing reaches the effect and the knobs are not redrawn.
  PanelEditorActions* editor;
  // Redraws one control's display; needs no editor. Must not be null.
  void (*drawDisplay)(void* window, std::int32_t index);
  void* window;
};

// Hit areas, all bounds strict.
inline constexpr std::int32_t kKnobBoxSize = 40;
inline constexpr std::int32_t kButtonWidth = 10;
inline constexpr std::int32_t kPlusButtonBottom = 8;  // buttonY < y < buttonY + 8
inline constexpr std::int32_t kMinusButtonTop = 9;    // buttonY + 9 < y < buttonY + 18
inline constexpr std::int32_t kMinusButtonBottom = 18;
inline constexpr std::int32_t kLargeAreaLeft = 14;
inline constexpr std::int32_t kLargeAreaRight = 254;
inline constexpr std::int32_t kUpperLargeAreaTop = 226;
inline constexpr std::int32_t kUpperLargeAreaBottom = 301;
inline constexpr std::int32_t kLowerLargeAreaTop = 302;
inline constexpr std::int32_t kLowerLargeAreaBottom = 378;

// Every hit area is tested in turn on the same position, each acting when it holds. A press on a
// knob sets its value from the pointer's direction and starts a drag of it.
void handleLeftButtonDown(const PanelInputContext& context, std::int32_t x, std::int32_t y);

// With the left button held, every dragged knob follows the pointer; without it, every drag ends.
void handleMouseMove(const PanelInputContext& context, std::int32_t x, std::int32_t y,
                     bool leftButton);
