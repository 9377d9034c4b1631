#include "host/vst2/drive_effect_with_editor.h"

#include <new>

namespace {

// The host makes the editor's window index x value pixels; a host that cannot answers 0.
constexpr std::int32_t kAudioMasterSizeWindow = 15;

}  // namespace

DriveEffectWithEditor::DriveEffectWithEditor(HostCallback hostCallback)
    : DriveEffect(hostCallback) {
  setUniqueId(fourCharCode("Wnk2"));
  // The editor attaches itself through setEditor; without memory for it the effect simply has
  // no panel. Its window system is the one linked into this build (Win32 or X11); nothing of it
  // is touched before the panel opens, so hosts without a display load and run the effect.
  (void)new (std::nothrow) PanelEditor(*this, panelWindowSystem());
#if !defined(_WIN32) || defined(_WIN64)
  // The 32-bit Windows plug-in keeps the one size and mouse behaviour it always had: hosts and
  // their users of it rely on them.
  if (getEditor() != nullptr) {
    static_cast<PanelEditor*>(getEditor())->offerZoom(*this);
  }
#endif
}

bool DriveEffectWithEditor::resizePanel(const PanelSize& size) {
  return hostCallback != nullptr && hostCallback(getDescriptor(), kAudioMasterSizeWindow,
                                                 size.width, size.height, nullptr, 0.0f) != 0;
}

EffectBase* createDriveEffect(HostCallback hostCallback) noexcept {
  return new (std::nothrow) DriveEffectWithEditor(hostCallback);
}
