// plughost's VST 3 hosting: a plug-in's module loaded from its bundle (or the module file itself),
// its first audio effect class made into a component with its controller, and both driven
// through Plugin as a host does. Written against Steinberg's C API alone.
//
// Parameters are the controller's list in its order; a host change goes to the controller and,
// at the start of the next process call, to the processor. Changes handed with a block reach the
// processor as parameter queues with their sample offsets; a change at or past the block's end
// is held for the start of the next block. Values the processor took (and any it reports back)
// reach the controller on the host's side before the controller is next asked, as a host's
// user-interface thread would pass them on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "tools/plughost/plugin.h"

namespace plughost {

// Whether a command line's plug-in reference names a VST 3 plug-in: a path ending in ".vst3"
// (a bundle folder, or a module file as Windows hosts also load), any letter case.
bool isVst3Reference(const std::string& reference);

// The module a reference loads: a bundle's binary for this build of plughost
// (Contents/x86_64-linux/NAME.so; Contents/x86_64-win/NAME.vst3 or Contents/x86-win/NAME.vst3 by
// plughost's own bitness), or the file itself. Throws HostError when there is none.
std::filesystem::path vst3ModulePath(const std::string& reference);

class Vst3HostedPlugin final : public Plugin {
 public:
  // Loads, creates, initializes and connects; set up for 44.1 kHz and 512-frame blocks until
  // setup says otherwise. Throws HostError naming the reference and what failed.
  explicit Vst3HostedPlugin(const std::string& reference);
  // Closes the editor, switches off, disconnects and terminates, releases every reference and
  // unloads the module.
  ~Vst3HostedPlugin() override;

  PluginFormat format() const override { return PluginFormat::vst3; }
  std::string name() override;
  int inputCount() const override;
  int outputCount() const override;

  int parameterCount() const override;
  ParameterTraits parameterTraits(int index) override;
  std::string parameterName(int index) override;
  std::string parameterDisplay(int index) override;
  std::string parameterLabel(int index) override;
  float parameter(int index) override;
  void setParameter(int index, float value) override;

  int programCount() override;
  int program() override;
  void setProgram(int program) override;
  std::string programName(int program) override;

  void setup(double sampleRate, std::int32_t maxFrames) override;
  void setActive(bool active) override;
  bool active() const override;

  void process(ProcessMode mode, float* const* inputs, float* const* outputs, std::int32_t frames,
               std::span<const ParameterChange> changes) override;

  // The view's getSize: the open one's, or else one made to be asked (told the editor scale).
  std::optional<EditorRect> editorRect() override;
  // VST 3's content scale (IPlugViewContentScaleSupport), for views that take one: told to each
  // view before it is attached, and at once to an open one.
  void setEditorScale(double factor) override;
  void openEditor(void* parent) override;
  void idleEditor() override;
  void closeEditor() override;
  std::vector<AutomationReport> automation() const override;

  void describe(std::ostream& out, bool json) override;

  // What is particular to VST 3, for tests and reports.
  const std::filesystem::path& modulePath() const;
  // The effect class's ID, 32 hexadecimal characters.
  std::string classId() const;
  // The flags of every restartComponent the controller sent, or-ed together.
  std::int32_t restartFlags() const;
  // Whether the editor's view asked its frame for a new size, and the last size it asked for.
  std::optional<EditorRect> requestedEditorSize() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The Plugin for a VST 3 reference (isVst3Reference). Throws HostError.
std::unique_ptr<Plugin> openVst3Plugin(const std::string& reference);

}  // namespace plughost
