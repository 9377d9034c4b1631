// Base class of effect editors: the protocol a host drives (rectangle, open, idle, close) with
// do-nothing behaviour, and the posted-update flag that parameter changes raise.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/vst2/aeffect.h"

class EffectBase;

class EditorBase {
 public:
  explicit EditorBase(EffectBase& owner) : effect(owner) {}
  EditorBase(const EditorBase&) = delete;
  EditorBase& operator=(const EditorBase&) = delete;

  virtual ~EditorBase() = default;
  virtual std::int32_t getRect(EditorRect** rect);
  virtual std::int32_t open(void* parent);
  virtual void close() {}
  virtual void idle();
  virtual void update() {}
  // Release: whoever takes the flag also sees the parameter values stored before it was raised.
  virtual void postUpdate() { updatePending.store(1, std::memory_order_release); }

  bool isUpdatePending() const { return updatePending.load(std::memory_order_relaxed) != 0; }

 protected:
  EffectBase& effect;
  void* parentWindow = nullptr;
  // Posted from whichever thread sets a parameter, taken on the user-interface thread.
  std::atomic<std::int32_t> updatePending{0};
};
