// Loads the built plug-in the way a host does, through its exported entry point: the shared
// object with dlopen, the DLL with LoadLibrary. The path comes from DRIVE_PLUGIN_PATH.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "host/vst2/aeffect.h"
#include "tests/support/host_recorder.h"

namespace testhost {

using PluginEntry = AEffect* (*)(HostCallback);

#if defined(_WIN32)
using LibraryHandle = HMODULE;
#else
using LibraryHandle = void*;
#endif

// The library stays loaded for the whole test program, as in a host session.
inline LibraryHandle pluginLibrary() {
#if defined(_WIN32)
  static const LibraryHandle library = LoadLibraryA(DRIVE_PLUGIN_PATH);
#else
  static const LibraryHandle library = dlopen(DRIVE_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
#endif
  return library;
}

// The exported entry of that name, or null.
inline PluginEntry exportedEntry(const char* name) {
  LibraryHandle library = pluginLibrary();
  if (library == nullptr) {
    return nullptr;
  }
#if defined(_WIN32)
  // FARPROC goes through a generic function pointer type to become the entry's real type.
  return reinterpret_cast<PluginEntry>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
#else
  return reinterpret_cast<PluginEntry>(dlsym(library, name));
#endif
}

// `main` is the one name every build exports.
inline PluginEntry pluginMain() {
  static const PluginEntry entry = exportedEntry("main");
  return entry;
}

// True when the address lies inside the loaded library's image: a truncated pointer would not.
inline bool insidePlugin(std::uintptr_t address) {
#if defined(_WIN32)
  const auto base = reinterpret_cast<std::uintptr_t>(pluginLibrary());
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return address > base && address < base + nt->OptionalHeader.SizeOfImage;
#else
  Dl_info entryInfo{};
  Dl_info addressInfo{};
  return dladdr(reinterpret_cast<void*>(pluginMain()), &entryInfo) != 0 &&
         // NOLINTNEXTLINE(performance-no-int-to-ptr): an address the plug-in handed us, as a number
         dladdr(reinterpret_cast<void*>(address), &addressInfo) != 0 &&
         addressInfo.dli_fbase == entryInfo.dli_fbase;
#endif
}

// One effect instance, closed through the dispatcher when it goes out of scope.
class Plugin {
 public:
  explicit Plugin(HostCallback callback = HostRecorder::callback)
      : effect(pluginMain() != nullptr ? pluginMain()(callback) : nullptr) {}
  ~Plugin() { close(); }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr, float opt = 0.0f) {
    return live()->dispatcher(effect, opcode, index, value, ptr, opt);
  }
  // A text request into a buffer filled with '#', so that a text left unwritten shows.
  std::string text(std::int32_t opcode, std::int32_t index = 0) {
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    dispatch(opcode, index, 0, buffer);
    return std::string(buffer, strnlen(buffer, sizeof buffer));
  }
  float get(std::int32_t index) { return live()->getParameter(effect, index); }
  void set(std::int32_t index, float value) { live()->setParameter(effect, index, value); }
  VstIntPtr close() {
    VstIntPtr answer = 0;
    if (effect != nullptr) {
      answer = dispatch(effClose);
      effect = nullptr;
    }
    return answer;
  }

  AEffect* effect;

 private:
  // A plug-in that gave no effect, or one used after close, fails the test instead of crashing
  // the whole program.
  AEffect* live() const {
    if (effect == nullptr) {
      throw std::logic_error("no effect: the entry gave none, or it was closed");
    }
    return effect;
  }
};

}  // namespace testhost
