// A VST 2 plug-in behind plughost's one plug-in interface: its library, the host callback it
// talks to and the effect, opened (effOpen) on construction. The editor's audioMasterSizeWindow
// requests reach the command's window through the editor resizer (Plugin::setEditorResizer).
#pragma once

#include <memory>
#include <string>

#include "tools/plughost/host_callback.h"
#include "tools/plughost/plugin.h"
#include "tools/plughost/plugin_instance.h"
#include "tools/plughost/plugin_library.h"

namespace plughost {

class Vst2Plugin final : public Plugin, private EditorWindowSizer {
 public:
  // Loads the library and creates the effect with a host of that policy. Throws HostError.
  explicit Vst2Plugin(const std::string& path, const HostPolicy& policy = {});
  // An effect made elsewhere (the validator makes its own, with hosts of its own), owned or
  // only borrowed for the life of this object.
  explicit Vst2Plugin(std::unique_ptr<PluginInstance> instance);
  explicit Vst2Plugin(PluginInstance& borrowed);
  ~Vst2Plugin() override;

  PluginInstance& instance() { return *instance_; }

  PluginFormat format() const override { return PluginFormat::vst2; }
  std::string name() override;
  int inputCount() const override { return instance_->inputs(); }
  int outputCount() const override { return instance_->outputs(); }

  int parameterCount() const override { return instance_->effect().numParams; }
  std::string parameterName(int index) override { return instance_->parameterName(index); }
  std::string parameterDisplay(int index) override { return instance_->parameterDisplay(index); }
  std::string parameterLabel(int index) override { return instance_->parameterLabel(index); }
  float parameter(int index) override { return instance_->parameter(index); }
  void setParameter(int index, float value) override { instance_->setParameter(index, value); }

  int programCount() override { return instance_->effect().numPrograms; }
  int program() override { return instance_->program(); }
  void setProgram(int program) override;
  std::string programName(int program) override { return instance_->programName(program); }

  void setup(double sampleRate, std::int32_t maxFrames) override;
  void setActive(bool active) override { instance_->setActive(active); }
  bool active() const override { return instance_->active(); }

  bool supports(ProcessMode mode) const override { return instance_->supports(mode); }
  void process(ProcessMode mode, float* const* inputs, float* const* outputs, std::int32_t frames,
               std::span<const ParameterChange> changes) override;

  std::optional<EditorRect> editorRect() override { return instance_->editorRect(); }
  void openEditor(void* parent) override;
  void idleEditor() override;
  void closeEditor() override;
  std::vector<AutomationReport> automation() const override {
    return instance_->host().automation();
  }

  void describe(std::ostream& out, bool json) override;

 private:
  bool followsEditorSize() const override { return hasEditorResizer(); }
  bool resizeForEditor(int width, int height) override { return resizeEditorWindow(width, height); }
  // Makes this object the sizer of the instance's host, for as long as it lives.
  void answerSizeRequests();

  // Declared in the order they must be made; destroyed in reverse.
  std::unique_ptr<PluginLibrary> library_;
  std::unique_ptr<HostCallbackRecorder> host_;
  std::unique_ptr<PluginInstance> owned_;
  PluginInstance* instance_;
};

}  // namespace plughost
