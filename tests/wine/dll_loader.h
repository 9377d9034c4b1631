// Loads DriveEffect.dll the way a host does and records what the plug-in asks of its host.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/aeffect.h"

namespace dlltest {

struct HostRequest {
  AEffect* effect;
  std::int32_t opcode;
  std::int32_t index;
  VstIntPtr value;
  void* ptr;
  float opt;
};

inline std::vector<HostRequest>& hostRequests() {
  static std::vector<HostRequest> requests;
  return requests;
}

inline VstIntPtr& versionAnswer() {
  static VstIntPtr answer = 2400;
  return answer;
}

inline VstIntPtr recordingHost(AEffect* effect, std::int32_t opcode, std::int32_t index,
                               VstIntPtr value, void* ptr, float opt) {
  hostRequests().push_back({effect, opcode, index, value, ptr, opt});
  return opcode == audioMasterVersion ? versionAnswer() : 0;
}

using MainProc = AEffect* (*)(HostCallback);

// The library stays loaded for the whole test program, as in a host session.
inline MainProc pluginMain() {
  static HMODULE library = LoadLibraryA(DRIVE_DLL_PATH);
  // FARPROC goes through a generic function pointer type to become the entry's real type.
  static MainProc entry = library != nullptr
                              ? reinterpret_cast<MainProc>(
                                    reinterpret_cast<void (*)()>(GetProcAddress(library, "main")))
                              : nullptr;
  return entry;
}

inline HMODULE pluginModule() {
  pluginMain();
  return GetModuleHandleA(DRIVE_DLL_PATH);
}

// One effect instance, closed through the dispatcher when it goes out of scope.
class Plugin {
 public:
  Plugin() : effect(pluginMain()(recordingHost)) {}
  ~Plugin() { close(); }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr, float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  }
  std::string text(std::int32_t opcode, std::int32_t index = 0) {
    char buffer[64];
    std::memset(buffer, 0, sizeof buffer);
    dispatch(opcode, index, 0, buffer);
    return buffer;
  }
  float get(std::int32_t index) { return effect->getParameter(effect, index); }
  void set(std::int32_t index, float value) { effect->setParameter(effect, index, value); }
  VstIntPtr close() {
    VstIntPtr answer = 0;
    if (effect != nullptr) {
      answer = dispatch(effClose);
      effect = nullptr;
    }
    return answer;
  }

  AEffect* effect;
};

}  // namespace dlltest
