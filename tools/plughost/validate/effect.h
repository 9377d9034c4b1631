// The validator's effects: plughost's PluginInstance on hosts that only count (so plug-ins may
// call them from watched process calls), with the validator's own verdict on a bad entry point.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/vst2/aeffect.h"
#include "tools/plughost/host_callback.h"
#include "tools/plughost/plugin_instance.h"
#include "tools/plughost/plugin_library.h"

namespace plughost::validate {

// One host per kind of answers for the whole process, as the validator's product; it keeps
// counts only.
HostCallbackRecorder& validatorHost(HostAnswers answers);

// The callback handed to entry points: the recorder's, with the real-time probe paused, since
// the host's own work is not the plug-in's.
VstIntPtr validatorCallback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                            VstIntPtr value, void* ptr, float opt);

// A host that answers an automation report by taking the editor away from under it (closing it,
// destroying its own window), as some hosts do, directly or through their message loop. While
// this lives, the next report of `effect` runs `react` once, inside the callback.
class AutomationReaction {
 public:
  AutomationReaction(const AEffect* effect, std::function<void()> react);
  ~AutomationReaction();
  AutomationReaction(const AutomationReaction&) = delete;
  AutomationReaction& operator=(const AutomationReaction&) = delete;

  bool ran() const { return ran_; }

 private:
  friend VstIntPtr validatorCallback(AEffect*, std::int32_t, std::int32_t, VstIntPtr, void*, float);
  const AEffect* effect_;
  std::function<void()> react_;
  bool ran_ = false;
};

class Effect : public PluginInstance {
 public:
  // Throws Failure when the entry point returns null, or a descriptor without the "VstP" magic
  // or without a dispatcher.
  explicit Effect(const PluginLibrary& library, HostAnswers answers = HostAnswers::plain);
  Effect(PluginEntry entry, const std::string& entryName, HostAnswers answers = HostAnswers::plain);
};

}  // namespace plughost::validate
