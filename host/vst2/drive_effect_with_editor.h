// The drive effect with its bitmap panel: the class the plug-in hands to hosts, on Windows and
// on Linux alike.
#pragma once

#include "effect/drive_effect.h"

class DriveEffectWithEditor : public DriveEffect {
 public:
  explicit DriveEffectWithEditor(HostCallback hostCallback);
  ~DriveEffectWithEditor() override = default;
};
