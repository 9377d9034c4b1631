#include "effect/drive_effect_with_editor.h"

#include <new>

#include "editor/panel_editor_win.h"

DriveEffectWithEditor::DriveEffectWithEditor(HostCallback hostCallback)
    : DriveEffect(hostCallback) {
  setUniqueId(fourCharCode("Wnk2"));
  // The editor attaches itself through setEditor; without memory for it the effect simply has
  // no panel.
  (void)new (std::nothrow) PanelEditor(*this);
}

EffectBase* createDriveEffect(HostCallback hostCallback) noexcept {
  return new (std::nothrow) DriveEffectWithEditor(hostCallback);
}
