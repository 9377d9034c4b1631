// The drive effect with its bitmap panel: the class the VST 2 plug-in hands to hosts, on Windows
// and on Linux alike.
#pragma once

#include "effect/drive_effect.h"

class DriveEffectWithEditor : public DriveEffect {
 public:
  explicit DriveEffectWithEditor(HostCallback hostCallback);
  ~DriveEffectWithEditor() override = default;
};

// Creates the effect that `main` hands to a host, with its panel. Null when it cannot be
// allocated.
EffectBase* createDriveEffect(HostCallback hostCallback) noexcept;
