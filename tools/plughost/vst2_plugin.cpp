#include "tools/plughost/vst2_plugin.h"

#include <algorithm>

#include "tools/plughost/host_error.h"
#include "tools/plughost/plugin_report.h"

namespace plughost {

Vst2Plugin::Vst2Plugin(const std::string& path, const HostPolicy& policy)
    : library_(std::make_unique<PluginLibrary>(path)),
      host_(std::make_unique<HostCallbackRecorder>(policy)),
      owned_(std::make_unique<PluginInstance>(*library_, *host_)),
      instance_(owned_.get()) {
  answerSizeRequests();
  instance_->open();
}

Vst2Plugin::Vst2Plugin(std::unique_ptr<PluginInstance> instance)
    : owned_(std::move(instance)), instance_(owned_.get()) {
  answerSizeRequests();
}

Vst2Plugin::Vst2Plugin(PluginInstance& borrowed) : instance_(&borrowed) {
  answerSizeRequests();
}

Vst2Plugin::~Vst2Plugin() {
  // A borrowed instance's host outlives this object: its size requests are refused again.
  HostCallbackRecorder& host = instance_->host();
  if (host.editorWindowSizer() == this) {
    host.setEditorWindowSizer(nullptr);
  }
}

void Vst2Plugin::answerSizeRequests() {
  instance_->host().setEditorWindowSizer(this);
}

std::string Vst2Plugin::name() {
  char text[kHostTextBufferSize] = {};
  instance_->dispatch(effGetEffectName, 0, 0, text);
  text[kHostTextBufferSize - 1] = '\0';
  if (text[0] != '\0') {
    return text;
  }
  // Effects that give no name are known by their file.
  const PluginLibrary* library = instance_->libraryIfAny();
  return library != nullptr ? library->path().stem().string() : std::string();
}

void Vst2Plugin::setProgram(int program) {
  if (program < 0 || program >= programCount()) {
    throw HostError("bad program " + std::to_string(program) + ": the plug-in has " +
                    std::to_string(programCount()) + " programs");
  }
  instance_->setProgram(program);
}

void Vst2Plugin::setup(double sampleRate, std::int32_t maxFrames) {
  instance_->setSampleRate(static_cast<float>(sampleRate));
  instance_->setBlockSize(maxFrames);
  instance_->host().setSampleRate(static_cast<float>(sampleRate));
  instance_->host().setBlockSize(maxFrames);
}

void Vst2Plugin::process(ProcessMode mode, float* const* inputs, float* const* outputs,
                         std::int32_t frames, std::span<const ParameterChange> changes) {
  PluginInstance& effect = *instance_;
  if (changes.empty()) {
    effect.process(mode, const_cast<float**>(inputs), const_cast<float**>(outputs), frames);
    return;
  }
  processSplitAtChanges(
      inputs, std::max(inputCount(), 1), outputs, std::max(outputCount(), 1), frames, changes,
      [&effect](const ParameterChange& change) { effect.setParameter(change.index, change.value); },
      [&effect, mode](float* const* in, float* const* out, std::int32_t n) {
        effect.process(mode, const_cast<float**>(in), const_cast<float**>(out), n);
      });
}

void Vst2Plugin::openEditor(void* parent) {
  instance_->dispatch(effEditOpen, 0, 0, parent);
}

void Vst2Plugin::idleEditor() {
  instance_->dispatch(effEditIdle);
}

void Vst2Plugin::closeEditor() {
  instance_->dispatch(effEditClose);
}

void Vst2Plugin::describe(std::ostream& out, bool json) {
  const PluginReport report = describePlugin(*instance_);
  if (json) {
    out << toJson(report).dump(2) << '\n';
  } else {
    printTable(out, report);
  }
}

}  // namespace plughost
