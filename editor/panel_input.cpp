#include "editor/panel_input.h"

#include "editor/panel_layout.h"

namespace {

constexpr std::int32_t kLevelControl = 3;
constexpr std::int32_t kKnobControlCount = 3;

bool inButtonColumns(std::int32_t index, std::int32_t x) {
  const std::int32_t left = panelControlTable.buttonX[index];
  return left < x && x < left + kButtonWidth;
}

bool onPlusButton(std::int32_t index, std::int32_t x, std::int32_t y) {
  const std::int32_t top = panelControlTable.buttonY[index];
  return inButtonColumns(index, x) && top < y && y < top + kPlusButtonBottom;
}

bool onMinusButton(std::int32_t index, std::int32_t x, std::int32_t y) {
  const std::int32_t top = panelControlTable.buttonY[index];
  return inButtonColumns(index, x) && top + kMinusButtonTop < y && y < top + kMinusButtonBottom;
}

bool inKnobBox(std::int32_t index, std::int32_t x, std::int32_t y) {
  const std::int32_t left = panelControlTable.knobX[index];
  const std::int32_t top = panelControlTable.knobY[index];
  return left < x && x < left + kKnobBoxSize && top < y && y < top + kKnobBoxSize;
}

bool inLargeAreaColumns(std::int32_t x) {
  return kLargeAreaLeft < x && x < kLargeAreaRight;
}

bool notDragging(std::int32_t index) {
  return panelControlTable.dragging[index] == 0;
}

void tellKnobChange(const PanelInputContext& context, std::int32_t index) {
  if (context.editor != nullptr) {
    context.editor->setParameterFromPanel(panelControlTable.value[index], index);
    context.editor->drawKnobControl(index);
    context.editor->saveValues();
  }
}

void stepAndTell(const PanelInputContext& context, std::int32_t index, double step) {
  stepControlValue(index, step);
  if (index == kLevelControl) {
    // The level has no knob, so its display is drawn on its own, editor or not.
    context.drawDisplay(context.window, kLevelControl);
    if (context.editor != nullptr) {
      context.editor->setParameterFromPanel(panelControlTable.value[kLevelControl], kLevelControl);
      context.editor->saveValues();
    }
  } else {
    tellKnobChange(context, index);
  }
}

}  // namespace

void handleLeftButtonDown(const PanelInputContext& context, std::int32_t x, std::int32_t y) {
  if (context.editor != nullptr) {
    context.editor->restoreValues();
  }
  // Each test reads the table afresh, after whatever the tests before it changed.
  if (onPlusButton(kLevelControl, x, y) && notDragging(kLevelControl)) {
    stepAndTell(context, kLevelControl, kFineStep);
  }
  if (onMinusButton(kLevelControl, x, y) && notDragging(kLevelControl)) {
    stepAndTell(context, kLevelControl, -kFineStep);
  }
  if (inLargeAreaColumns(x) && kUpperLargeAreaTop < y && y < kUpperLargeAreaBottom &&
      notDragging(kLevelControl)) {
    stepAndTell(context, kLevelControl, kCoarseStep);
  }
  if (inLargeAreaColumns(x) && kLowerLargeAreaTop < y && y < kLowerLargeAreaBottom &&
      notDragging(kLevelControl)) {
    stepAndTell(context, kLevelControl, -kCoarseStep);
  }
  for (std::int32_t i = 0; i < kKnobControlCount; ++i) {
    if (inKnobBox(i, x, y) && notDragging(i)) {
      PanelControlTable& table = panelControlTable;
      table.dragging[i] = 1;
      knobValueFromPoint(x, y, i);
      // A press on the centre keeps whatever value was restored, which may lie out of range.
      if (table.value[i] > table.maximum[i]) {
        table.value[i] = table.maximum[i];
      }
      if (table.value[i] < 0) {
        table.value[i] = 0;
      }
      tellKnobChange(context, i);
    }
    if (onPlusButton(i, x, y) && notDragging(i)) {
      stepAndTell(context, i, kFineStep);
    }
    if (onMinusButton(i, x, y) && notDragging(i)) {
      stepAndTell(context, i, -kFineStep);
    }
  }
}

void handleMouseMove(const PanelInputContext& context, std::int32_t x, std::int32_t y,
                     bool leftButton) {
  if (!leftButton) {
    // The release itself is not seen; the first move without the button ends every drag.
    for (std::int32_t i = 0; i < kPanelControlCount; ++i) {
      panelControlTable.dragging[i] = 0;
    }
    return;
  }
  if (context.editor != nullptr) {
    context.editor->restoreValues();
  }
  for (std::int32_t i = 0; i < kKnobControlCount; ++i) {
    if (panelControlTable.dragging[i] == 1) {
      knobValueFromPoint(x, y, i);
      tellKnobChange(context, i);
    }
  }
}
