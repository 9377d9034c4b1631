// The drive effect's bitmap panel: a 270 x 400 child window in the host's window.
#pragma once

#include <windows.h>

#include <cstdint>

#include "editor/editor_base.h"
#include "editor/panel_layout.h"

class EffectBase;

class PanelEditor : public EditorBase {
 public:
  explicit PanelEditor(EffectBase& owner);
  // Closes the panel if the host left it open, so that no window keeps a pointer to a freed
  // editor and the last close in the process can still unregister the window class.
  ~PanelEditor() override;

  std::int32_t getRect(EditorRect** rect) override;
  // Answers 0 and holds nothing when the window cannot be created (for example a null parent).
  std::int32_t open(void* parent) override;
  void close() override;
  void idle() override;
  void update() override;

  virtual void restoreValues();
  virtual void saveValues();
  virtual void setParameterFromPanel(float value, std::int32_t index);
  virtual void drawKnobControl(HWND targetWindow, std::int32_t index);

  HWND panelWindow() const { return window; }
  bool isOpen() const { return opened; }

  // The window procedure's notice that the panel window is being destroyed by someone else (its
  // parent going away): the handle must not be used again, not even by close.
  void forgetWindow() { window = nullptr; }

 private:
  HWND window = nullptr;
  std::int32_t indexOffsetX[panelControlCount] = {22, 22, 22, 22};
  std::int32_t indexOffsetY[panelControlCount] = {22, 22, 22, 22};
  float savedValues[panelControlCount] = {0.5f, 0.5f, 0.5f, 0.2f};
  // Counted in the process-wide open count; separate from window, which the parent may destroy.
  bool opened = false;
};
