// A host callback that records every request, for tests that check what the effect asks.
#pragma once

#include <cstdint>
#include <vector>

#include "host/aeffect.h"

struct HostRequest {
  AEffect* effect;
  std::int32_t opcode;
  std::int32_t index;
  VstIntPtr value;
  void* ptr;
  float opt;
};

class HostRecorder {
 public:
  // Only one recorder is active at a time; the plain function callback reaches it through here.
  HostRecorder() { active() = this; }
  ~HostRecorder() { active() = nullptr; }
  HostRecorder(const HostRecorder&) = delete;
  HostRecorder& operator=(const HostRecorder&) = delete;

  static VstIntPtr callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                            VstIntPtr value, void* ptr, float opt) {
    HostRecorder* self = active();
    self->requests.push_back({effect, opcode, index, value, ptr, opt});
    if (self->onRequest) {
      self->onRequest(opcode);
    }
    return opcode == audioMasterVersion ? self->versionAnswer : self->answer;
  }

  std::vector<HostRequest> requests;
  VstIntPtr versionAnswer = 2400;
  VstIntPtr answer = 0;
  void (*onRequest)(std::int32_t opcode) = nullptr;

 private:
  static HostRecorder*& active() {
    static HostRecorder* current = nullptr;
    return current;
  }
};
