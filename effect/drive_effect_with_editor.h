// The drive effect with its bitmap panel: the class the Windows library hands to hosts.
#pragma once

#include "effect/drive_effect.h"

class DriveEffectWithEditor : public DriveEffect {
 public:
  explicit DriveEffectWithEditor(HostCallback hostCallback);
  ~DriveEffectWithEditor() override = default;
};
