#include "editor/panel_editor_win.h"

#include "editor/panel_window_win.h"
#include "host/effect_base.h"

namespace {
EditorRect panelRect{0, 0, panelHeight, panelWidth};
}

PanelEditor::PanelEditor(EffectBase& owner) : EditorBase(owner) {
  owner.setEditor(this);
}

PanelEditor::~PanelEditor() {
  // Runs while the effect is being destroyed: close touches neither the effect nor the table.
  close();
}

std::int32_t PanelEditor::getRect(EditorRect** rect) {
  *rect = &panelRect;
  return 1;
}

std::int32_t PanelEditor::open(void* parent) {
  // A host that opens twice gets one window: the first one goes before the second is made.
  close();
  parentWindow = parent;
  acquirePanelResources();
  HWND created = createPanelWindow(static_cast<HWND>(parent));
  if (created == nullptr) {
    releasePanelResources();
    return 0;
  }
  opened = true;
  SetWindowLongPtrA(created, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  window = created;
  for (std::int32_t i = 0; i < panelControlCount; ++i) {
    indexOffsetX[i] = 22;
    indexOffsetY[i] = 22;
  }
  update();
  saveValues();
  return 1;
}

void PanelEditor::close() {
  if (!opened) {
    return;
  }
  opened = false;
  if (window != nullptr) {
    // Messages sent while the window goes must not reach this editor any more.
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
    window = nullptr;
  }
  // After the window: the last close unregisters the class, which fails while a window of it
  // is left.
  releasePanelResources();
}

void PanelEditor::idle() {
  EditorBase::idle();
}

void PanelEditor::update() {
  if (window == nullptr) {
    // Nothing to draw on: keep the effect's values for the next paint, but leave the table,
    // which open panels share, alone.
    for (std::int32_t i = 0; i < panelControlCount; ++i) {
      savedValues[i] = effect.getParameter(i);
    }
    return;
  }
  for (std::int32_t i = 0; i < panelControlCount; ++i) {
    panelControlTable.value[i] = effect.getParameter(i);
    panelControlTable.dirty[i] = 1;
    drawKnobControl(window, i);
  }
  saveValues();
}

void PanelEditor::restoreValues() {
  for (std::int32_t i = 0; i < panelControlCount; ++i) {
    panelControlTable.value[i] = savedValues[i];
  }
}

void PanelEditor::saveValues() {
  for (std::int32_t i = 0; i < panelControlCount; ++i) {
    savedValues[i] = panelControlTable.value[i];
  }
}

void PanelEditor::setParameterFromPanel(float value, std::int32_t index) {
  if (index >= 0 && index < panelControlCount) {
    effect.automateParameter(index, value);
  }
}

void PanelEditor::drawKnobControl(HWND targetWindow, std::int32_t index) {
  if (!controlNeedsDraw(index)) {
    return;
  }
  const KnobControlDraw draw =
      takeKnobControlDraw(index, {indexOffsetX[index], indexOffsetY[index]});
  indexOffsetX[index] = draw.newOffset.x;
  indexOffsetY[index] = draw.newOffset.y;
  drawPanelTransfers(targetWindow, draw.transfers);
}
