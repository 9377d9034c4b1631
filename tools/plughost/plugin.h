// One plug-in as plughost's commands and its validator see it, whatever its format: its
// channels, parameters and programs, its life cycle, block processing with parameter changes at
// chosen frames, and its editor in a host window. VST 2 (`Vst2Plugin`), LV2 (`Lv2HostedPlugin`)
// and VST 3 (`Vst3HostedPlugin`) each implement it; openPlugin picks one by the reference given.
//
// Parameters are numbered 0..parameterCount()-1 in the plug-in's own order and carry the host's
// normalized values (0..1): a VST 2 index, an LV2 control input's number, a VST 3 parameter's
// position in its controller's list.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "tools/plughost/host_callback.h"
#include "tools/plughost/vst_opcodes.h"

namespace plughost {

enum class PluginFormat { vst2, lv2, vst3 };

// "VST 2", "LV2", "VST 3".
const char* formatName(PluginFormat format);

// A parameter change that takes effect at `frame` of the block it is handed with.
struct ParameterChange {
  std::int32_t frame;
  std::int32_t index;
  float value;
};

class Plugin {
 public:
  // The most channels a side may declare; more is a broken plug-in, not one to feed.
  static constexpr int kMaxChannels = 256;

  virtual ~Plugin() = default;
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  virtual PluginFormat format() const = 0;
  // The name a host lists the plug-in under.
  virtual std::string name() = 0;
  virtual int inputCount() const = 0;
  virtual int outputCount() const = 0;

  virtual int parameterCount() const = 0;
  // The parameter a command line names by `key`: its number, or a name of the format's own (an
  // LV2 port symbol); -1 for none.
  virtual int parameterIndex(const std::string& key);
  virtual std::string parameterName(int index) = 0;
  // The value as the plug-in shows it, and its unit.
  virtual std::string parameterDisplay(int index) = 0;
  virtual std::string parameterLabel(int index) = 0;
  virtual float parameter(int index) = 0;
  // What a parameter is beyond its value: most are continuous and belong to the current
  // program; a VST 3 plug-in may also have stepped ones, a bypass and a program change.
  struct ParameterTraits {
    int steps = 0;  // 0: continuous; n: the values k/n, k = 0..n
    bool bypass = false;
    bool programChange = false;
    // Whether a program keeps its own value of it (a program's values come back with it).
    bool inPrograms() const { return !bypass && !programChange; }
  };
  virtual ParameterTraits parameterTraits(int /*index*/) { return {}; }
  // A host change between blocks; it reaches the audio from the next block on.
  virtual void setParameter(int index, float value) = 0;

  // Formats without programs have none: count 0, and selecting one is refused (HostError).
  virtual int programCount() = 0;
  virtual int program() = 0;
  virtual void setProgram(int program) = 0;
  virtual std::string programName(int program) = 0;

  // The sample rate and the largest block to come, while switched off.
  virtual void setup(double sampleRate, std::int32_t maxFrames) = 0;
  virtual void setActive(bool active) = 0;
  virtual bool active() const = 0;

  // Only VST 2 has an accumulating entry; every format replaces.
  virtual bool supports(ProcessMode mode) const { return mode == ProcessMode::replacing; }
  ProcessMode preferredMode() const {
    return supports(ProcessMode::replacing) ? ProcessMode::replacing : ProcessMode::accumulating;
  }
  // One block of at most the set-up size, with `changes` in frame order: each takes effect at
  // its frame. Formats that carry no changes inside a block (VST 2, LV2) have it split at each
  // change's frame; VST 3 gets them as parameter changes with sample offsets. Buffers are one per
  // channel (at least one a side); accumulating adds onto what the outputs hold.
  virtual void process(ProcessMode mode, float* const* inputs, float* const* outputs,
                       std::int32_t frames, std::span<const ParameterChange> changes) = 0;
  // A replacing block without changes.
  void processReplacing(float* const* inputs, float* const* outputs, std::int32_t frames) {
    process(ProcessMode::replacing, inputs, outputs, frames, {});
  }

  // The editor's size when the plug-in has one: after a resize it asked for, the new one.
  virtual std::optional<EditorRect> editorRect() = 0;
  // The host's scale for its editors (1.0 is 100 %), told before the editor opens: VST 3's
  // content scale, LV2's ui:scaleFactor option. A VST 2 host has no such thing and ignores it.
  virtual void setEditorScale(double /*factor*/) {}
  // How the command's window follows an editor that asks for another size (VST 2
  // audioMasterSizeWindow, VST 3 IPlugFrame::resizeView, LV2 ui:resize); answers whether it
  // did. Without one, every such request is refused, except an LV2 UI's: LV2 hosts fit their
  // window to the UI's, so the size is taken as it comes (the command's window being made large
  // enough for any editor).
  using EditorResizer = std::function<bool(int width, int height)>;
  void setEditorResizer(EditorResizer resizer) { resizer_ = std::move(resizer); }
  // Opens the editor in a host window: an HWND on Windows, an X11 window id on Linux. An
  // editor already open is asked to open again where the format allows that (VST 2); the
  // formats whose editors are objects (LV2 UI, VST 3 view) close the open one first.
  virtual void openEditor(void* parent) = 0;
  // One pass of the host's loop for an open editor: its idle call, run-loop handlers and timers.
  virtual void idleEditor() = 0;
  virtual void closeEditor() = 0;
  // The changes the plug-in reported to the host since it was loaded (its automation: a panel's
  // drags and presses), in order.
  virtual std::vector<AutomationReport> automation() const = 0;

  // What `info` prints: everything a host of this format learns by asking, as a table for
  // people or as JSON for scripts.
  virtual void describe(std::ostream& out, bool json) = 0;

 protected:
  Plugin() = default;
  // For the implementations: the request of an editor to be width x height pixels.
  bool resizeEditorWindow(int width, int height) const {
    return resizer_ && resizer_(width, height);
  }
  // Whether the command's window follows such requests at all (what a host says when asked).
  bool hasEditorResizer() const { return static_cast<bool>(resizer_); }

 private:
  EditorResizer resizer_;
};

// The format of the plug-in a command line names, told without loading anything: a VST 3
// bundle or module (".vst3"), an LV2 plug-in URI or bundle folder (Linux), or else a VST 2
// library.
PluginFormat formatOf(const std::string& reference);

// Opens the plug-in a command line names, of the format formatOf tells. Throws HostError.
std::unique_ptr<Plugin> openPlugin(const std::string& reference);

// For formats without changes inside a block: runs `run(inputs, outputs, frames)` over the
// pieces between change frames, applying each change through `apply` before the piece it starts.
// The offset pointer arrays are on the stack, so this allocates nothing. Changes at or past the
// block's end apply after its last piece, as the next block would see them.
template <typename Apply, typename Run>
void processSplitAtChanges(float* const* inputs, int inputCount, float* const* outputs,
                           int outputCount, std::int32_t frames,
                           std::span<const ParameterChange> changes, Apply&& apply, Run&& run) {
  float* in[Plugin::kMaxChannels];
  float* out[Plugin::kMaxChannels];
  if (frames == 0) {
    // A flush: the changes, and a call without audio for formats that take one.
    for (const ParameterChange& change : changes) {
      apply(change);
    }
    run(inputs, outputs, 0);
    return;
  }
  std::int32_t start = 0;
  std::size_t next = 0;
  while (start < frames) {
    while (next < changes.size() && changes[next].frame <= start) {
      apply(changes[next++]);
    }
    const std::int32_t end =
        next < changes.size() && changes[next].frame < frames ? changes[next].frame : frames;
    for (int c = 0; c < inputCount; ++c) {
      in[c] = inputs[c] + start;
    }
    for (int c = 0; c < outputCount; ++c) {
      out[c] = outputs[c] + start;
    }
    run(static_cast<float* const*>(in), static_cast<float* const*>(out), end - start);
    start = end;
  }
  while (next < changes.size()) {
    apply(changes[next++]);
  }
}

}  // namespace plughost
