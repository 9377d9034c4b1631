#include "tools/plughost/validate/effect.h"

#include <atomic>
#include <limits>
#include <utility>

#include "tools/plughost/validate/check.h"
#include "tools/plughost/validate/realtime_probe.h"

namespace plughost::validate {
namespace {

HostPolicy policyFor(HostAnswers answers) {
  HostPolicy policy;
  policy.answers = answers;
  policy.keepRequests = false;
  policy.product = "plughost validate";
  // Buffers are handed for every pin the effect declares.
  policy.connectedPins = std::numeric_limits<std::int32_t>::max();
  return policy;
}

AEffect* created(PluginEntry entry, const std::string& entryName, HostCallbackRecorder& host) {
  AEffect* effect = nullptr;
  {
    HostCallbackRecorder::EntryScope scope(host);
    effect = entry(validatorCallback);
  }
  require(effect != nullptr, "the entry point '" + entryName + "' returned null");
  require(effect->magic == kEffectMagic,
          "the descriptor's magic is " + std::to_string(effect->magic) + ", not 'VstP'");
  require(effect->dispatcher != nullptr, "the descriptor has no dispatcher");
  return effect;
}

// At most one at a time; plug-ins may report from any thread.
std::atomic<AutomationReaction*> armedReaction{nullptr};

}  // namespace

HostCallbackRecorder& validatorHost(HostAnswers answers) {
  static HostCallbackRecorder plain(policyFor(HostAnswers::plain));
  static HostCallbackRecorder silent(policyFor(HostAnswers::silent));
  static HostCallbackRecorder versionZero(policyFor(HostAnswers::versionZero));
  switch (answers) {
    case HostAnswers::silent:
      return silent;
    case HostAnswers::versionZero:
      return versionZero;
    case HostAnswers::plain:
      break;
  }
  return plain;
}

VstIntPtr validatorCallback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                            VstIntPtr value, void* ptr, float opt) {
  probe::Pause pause;
  const VstIntPtr answer = HostCallbackRecorder::callback(effect, opcode, index, value, ptr, opt);
  if (opcode == audioMasterAutomate && effect != nullptr) {
    // Taken out before it runs: what it does may make the plug-in report again.
    AutomationReaction* reaction = armedReaction.load();
    if (reaction != nullptr && reaction->effect_ == effect &&
        armedReaction.compare_exchange_strong(reaction, nullptr)) {
      reaction->ran_ = true;
      reaction->react_();
    }
  }
  return answer;
}

AutomationReaction::AutomationReaction(const AEffect* effect, std::function<void()> react)
    : effect_(effect), react_(std::move(react)) {
  armedReaction.store(this);
}

AutomationReaction::~AutomationReaction() {
  AutomationReaction* self = this;
  armedReaction.compare_exchange_strong(self, nullptr);
}

Effect::Effect(const PluginLibrary& library, HostAnswers answers)
    : PluginInstance(created(library.entry(), library.entryName(), validatorHost(answers)),
                     validatorHost(answers), &library) {}

Effect::Effect(PluginEntry entry, const std::string& entryName, HostAnswers answers)
    : PluginInstance(created(entry, entryName, validatorHost(answers)), validatorHost(answers),
                     nullptr) {}

}  // namespace plughost::validate
