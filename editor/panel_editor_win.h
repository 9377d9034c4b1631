// The drive effect's bitmap panel: a 270 x 400 child window in the host's window.
#pragma once

#include <windows.h>

#include <cstdint>

#include "editor/editor_base.h"

class EffectBase;

class PanelEditor : public EditorBase {
 public:
  explicit PanelEditor(EffectBase& owner);
  ~PanelEditor() override;

  std::int32_t getRect(EditorRect** rect) override;
  std::int32_t open(void* parent) override;
  void close() override;
  void idle() override;
  void update() override;

  virtual void restoreValues();
  virtual void saveValues();
  virtual void setParameterFromPanel(float value, std::int32_t index);
  virtual void drawKnobControl(HWND targetWindow, std::int32_t index);

  HWND panelWindow() const { return window; }

 private:
  HWND window = nullptr;
  std::int32_t indexOffsetX[4] = {22, 22, 22, 22};
  std::int32_t indexOffsetY[4] = {22, 22, 22, 22};
  float savedValues[4] = {0.5f, 0.5f, 0.5f, 0.2f};
};
