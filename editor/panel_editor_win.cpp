// Placeholder until the panel window lands: reports the rectangle and opens nothing.
#include "editor/panel_editor_win.h"

#include "host/effect_base.h"

namespace {
EditorRect panelRect{0, 0, 400, 270};
}

PanelEditor::PanelEditor(EffectBase& owner) : EditorBase(owner) { owner.setEditor(this); }
PanelEditor::~PanelEditor() = default;

std::int32_t PanelEditor::getRect(EditorRect** rect) {
  *rect = &panelRect;
  return 1;
}
std::int32_t PanelEditor::open(void* parent) {
  parentWindow = parent;
  return 0;
}
void PanelEditor::close() {}
void PanelEditor::idle() { EditorBase::idle(); }
void PanelEditor::update() {}
void PanelEditor::restoreValues() {}
void PanelEditor::saveValues() {}
void PanelEditor::setParameterFromPanel(float value, std::int32_t index) {
  if (index >= 0 && index < 4) {
    effect.automateParameter(index, value);
  }
}
void PanelEditor::drawKnobControl(HWND, std::int32_t) {}
