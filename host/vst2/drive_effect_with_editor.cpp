#include "host/vst2/drive_effect_with_editor.h"

#include <new>

#include "editor/panel_editor.h"

DriveEffectWithEditor::DriveEffectWithEditor(HostCallback hostCallback)
    : DriveEffect(hostCallback) {
  setUniqueId(fourCharCode("Wnk2"));
  // The editor attaches itself through setEditor; without memory for it the effect simply has
  // no panel. Its window system is the one linked into this build (Win32 or X11); nothing of it
  // is touched before the panel opens, so hosts without a display load and run the effect.
  (void)new (std::nothrow) PanelEditor(*this, panelWindowSystem());
}

EffectBase* createDriveEffect(HostCallback hostCallback) noexcept {
  return new (std::nothrow) DriveEffectWithEditor(hostCallback);
}
