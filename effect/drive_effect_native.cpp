// Outside Windows the effect has no panel: the shared object carries the plain drive effect.
#include <new>

#include "effect/drive_effect.h"

EffectBase* createDriveEffect(HostCallback hostCallback) noexcept {
  return new (std::nothrow) DriveEffect(hostCallback);
}
