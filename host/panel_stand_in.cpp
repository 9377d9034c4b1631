#include "host/panel_stand_in.h"

#include "editor/editor_base.h"

namespace {

bool isControl(std::int32_t index) {
  return index >= 0 && index < kDriveParameterCount;
}

}  // namespace

PanelStandIn::PanelStandIn(PanelEditSink& sink)
    : EffectBase(nullptr, 1, kDriveParameterCount), sink_(sink) {
  for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
    values_[i] = kDriveParameters[i].defaultValue;
  }
}

void PanelStandIn::setParameter(std::int32_t index, float value) {
  if (isControl(index)) {
    values_[index] = value;
  }
  if (editor != nullptr) {
    editor->postUpdate();
  }
}

float PanelStandIn::getParameter(std::int32_t index) {
  return isControl(index) ? values_[index] : 0.0f;
}

void PanelStandIn::automateParameter(std::int32_t index, float value) {
  setParameter(index, value);
  if (isControl(index)) {
    sink_.editFromPanel(index, value);
  }
}
