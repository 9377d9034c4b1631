// The host side of every test that loads or builds a plug-in: a callback that answers the version
// request and records every request, so that a test can check what the plug-in asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <utility>
#include <vector>

#include "host/vst2/aeffect.h"

struct HostRequest {
  AEffect* effect;
  std::int32_t opcode;
  std::int32_t index;
  VstIntPtr value;
  void* ptr;
  float opt;
};

struct AutomationReport {
  std::int32_t index;
  float value;
  friend bool operator==(const AutomationReport&, const AutomationReport&) = default;
};

inline void PrintTo(const AutomationReport& report, std::ostream* out) {
  *out << "{" << report.index << ", " << report.value << "}";
}

// The plain function callback reaches the most recently made recorder still alive, so a test
// may hold one for its own scope while a whole program holds another underneath. Without any
// recorder the callback still answers like a host, recording nothing.
class HostRecorder {
 public:
  static constexpr VstIntPtr kHostVersion = 2400;

  HostRecorder() : previous_(active()) { active() = this; }
  ~HostRecorder() { active() = previous_; }
  HostRecorder(const HostRecorder&) = delete;
  HostRecorder& operator=(const HostRecorder&) = delete;

  static VstIntPtr callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                            VstIntPtr value, void* ptr, float opt) {
    HostRecorder* self = active();
    if (self == nullptr) {
      return opcode == audioMasterVersion ? kHostVersion : 0;
    }
    self->requests.push_back({effect, opcode, index, value, ptr, opt});
    if (self->onRequest != nullptr) {
      self->onRequest(opcode);
    }
    if (opcode == audioMasterAutomate && self->atNextAutomation) {
      // Taken out first: the action may well lead to another report before it returns.
      const std::function<void()> action = std::exchange(self->atNextAutomation, nullptr);
      action();
    }
    return opcode == audioMasterVersion ? self->versionAnswer : self->answer;
  }

  // The automation reports among the requests from the given one on, of one effect or (null)
  // of all.
  std::vector<AutomationReport> automation(const AEffect* of = nullptr,
                                           std::size_t from = 0) const {
    std::vector<AutomationReport> reports;
    for (std::size_t i = from; i < requests.size(); ++i) {
      const HostRequest& request = requests[i];
      if (request.opcode == audioMasterAutomate && (of == nullptr || request.effect == of)) {
        reports.push_back({request.index, request.opt});
      }
    }
    return reports;
  }

  std::vector<HostRequest> requests;
  VstIntPtr versionAnswer = kHostVersion;
  VstIntPtr answer = 0;
  void (*onRequest)(std::int32_t opcode) = nullptr;
  // Run once, inside the callback, at the next automation report: what a host does there
  // (closing the editor, destroying its window) happens while the plug-in's handler is running.
  std::function<void()> atNextAutomation;

 private:
  static HostRecorder*& active() {
    static HostRecorder* current = nullptr;
    return current;
  }

  HostRecorder* previous_;
};
