// The drive effect with its bitmap panel: the class the VST 2 plug-in hands to hosts, on Windows
// and on Linux alike.
#pragma once

#include "editor/panel_editor.h"
#include "effect/drive_effect.h"

// Zooms the panel through the host's audioMasterSizeWindow. The zoom chosen on the panel is the
// editor's, and lasts as long as the plug-in is loaded: VST 2 has no place for it in a project.
class DriveEffectWithEditor : public DriveEffect, private PanelZoomHost {
 public:
  explicit DriveEffectWithEditor(HostCallback hostCallback);
  ~DriveEffectWithEditor() override = default;

 private:
  bool resizePanel(const PanelSize& size) override;
  void panelZoomChosen(std::int32_t /*zoom*/) override {}
};

// Creates the effect that `main` hands to a host, with its panel. Null when it cannot be
// allocated.
EffectBase* createDriveEffect(HostCallback hostCallback) noexcept;
