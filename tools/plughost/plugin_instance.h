// One effect created from a plug-in library, with the host's side of its life cycle: the
// constructor calls the entry point and checks the descriptor, the destructor switches the
// effect off and closes it. Helpers wrap the dispatcher requests a host sends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/vst2/aeffect.h"
#include "tools/plughost/host_callback.h"
#include "tools/plughost/plugin_library.h"
#include "tools/plughost/vst_opcodes.h"

namespace plughost {

// Host-side text buffers are far larger than the 8 (or 24) bytes a plug-in may write, so a
// plug-in that writes too much damages nothing; the text is cut at the buffer's end.
constexpr std::size_t kHostTextBufferSize = 256;

class PluginInstance {
 public:
  // Throws HostError when the entry point returns null or a descriptor without the "VstP" magic.
  PluginInstance(const PluginLibrary& library, HostCallbackRecorder& host);
  // Takes over an effect that the caller made through `host` (inside its EntryScope) and found
  // sound; `library` may be null for an entry point that is not a library's.
  PluginInstance(AEffect* adopted, HostCallbackRecorder& host, const PluginLibrary* library);
  // Switches the effect off if it is on and closes it, unless close() did already.
  virtual ~PluginInstance();
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;

  AEffect& effect() const { return *effect_; }
  AEffect* get() const { return effect_; }
  AEffect* operator->() const { return effect_; }
  // False once close() has run.
  bool alive() const { return effect_ != nullptr; }
  HostCallbackRecorder& host() const { return host_; }
  const PluginLibrary& library() const { return *library_; }
  // Null for an entry point that is not a library's.
  const PluginLibrary* libraryIfAny() const { return library_; }

  VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr, float opt = 0.0f);

  // effOpen; the destructor sends effClose either way.
  void open();
  // effOpen, effSetSampleRate, effSetBlockSize and effMainsChanged(1): the order hosts use.
  void start(float sampleRate = 44100.0f, std::int32_t blockSize = 512);
  // effClose now (switching off first only when asked); the handle is dead afterwards.
  void close(bool switchOffFirst = true);
  void setSampleRate(float rate);
  void setBlockSize(std::int32_t frames);
  // effMainsChanged; the destructor switches off an effect left on.
  void setActive(bool active);
  bool active() const { return active_; }

  std::int32_t program();
  void setProgram(std::int32_t program);
  std::string programName();
  // Each program's name, read by selecting it; the current program is selected again after.
  std::string programName(std::int32_t program);

  float parameter(std::int32_t index) const;
  void setParameter(std::int32_t index, float value);
  std::string parameterName(std::int32_t index);
  std::string parameterLabel(std::int32_t index);
  std::string parameterDisplay(std::int32_t index);

  std::int32_t identify();
  // The editor's rectangle when the effect says it has an editor and answers effEditGetRect.
  std::optional<EditorRect> editorRect();

  std::int32_t inputs() const { return effect_->numInputs; }
  std::int32_t outputs() const { return effect_->numOutputs; }

  bool supports(ProcessMode mode) const;
  // Replacing when the effect offers it, accumulating otherwise.
  ProcessMode preferredMode() const;
  // One block through the chosen entry; accumulating adds onto what the outputs hold.
  void process(ProcessMode mode, float** inputs, float** outputs, std::int32_t frames);

 private:
  std::string text(std::int32_t opcode, std::int32_t index);

  const PluginLibrary* library_;
  HostCallbackRecorder& host_;
  AEffect* effect_ = nullptr;
  bool active_ = false;
};

}  // namespace plughost
