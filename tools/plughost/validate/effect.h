// The validator's plug-ins. A check takes fresh ones of any format from a PluginSource and works
// through plughost's one plug-in interface; a VST 2 one is plughost's PluginInstance on a host
// that only counts (so plug-ins may call it from watched process calls), with the validator's own
// verdict on a bad entry point, which the checks of VST 2's own requests drive directly.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "host/vst2/aeffect.h"
#include "tools/plughost/host_callback.h"
#include "tools/plughost/plugin.h"
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

// The format a reference names, by the rules openPlugin follows: a ".vst3" bundle or module, an
// LV2 URI or bundle folder (Linux), or else a VST 2 library. Nothing is loaded.
PluginFormat referenceFormat(const std::filesystem::path& reference);

// Fresh plug-ins of one reference for a check: each open() makes a new one, as a host does when
// the user adds the plug-in again. A VST 2 library is loaded once for the source and its effects
// are made on the validator's host, effOpen sent as the commands send it; other formats are
// opened as the commands open them.
class PluginSource {
 public:
  // Throws HostError when a VST 2 library will not load.
  explicit PluginSource(const std::filesystem::path& reference);
  // Plug-ins made by `make`, for hosting of a format's own (tests hand in plug-ins of theirs).
  PluginSource(PluginFormat format, std::function<std::unique_ptr<Plugin>()> make);
  ~PluginSource();
  PluginSource(const PluginSource&) = delete;
  PluginSource& operator=(const PluginSource&) = delete;

  PluginFormat format() const { return format_; }
  // The VST 2 library the effects come from; null for other formats.
  const PluginLibrary* library() const { return library_.get(); }

  // Throws Failure or HostError when the plug-in cannot be made.
  std::unique_ptr<Plugin> open();
  // open(), then the sample rate and largest block set and the plug-in switched on.
  std::unique_ptr<Plugin> start(double sampleRate = 44100.0, std::int32_t maxFrames = 512);

 private:
  PluginFormat format_;
  std::filesystem::path reference_;
  std::unique_ptr<PluginLibrary> library_;
  std::function<std::unique_ptr<Plugin>()> make_;
};

// The VST 2 effect behind a plug-in a source made, for the checks of VST 2's own requests; null
// for other formats.
Effect* vst2Effect(Plugin& plugin);

// How reports name what a host asks of a plug-in of each format, so that a VST 2 report names the
// opcodes it sent.
struct RequestWords {
  const char* switchOffOn;   // "effMainsChanged off/on"
  const char* editorOpen;    // "effEditOpen"
  const char* editorClose;   // "effEditClose"
  const char* editorIdle;    // "effEditIdle"
  const char* pluginClosed;  // what the plug-in's end is: "effClose"
};
const RequestWords& requestWords(PluginFormat format);

}  // namespace plughost::validate
