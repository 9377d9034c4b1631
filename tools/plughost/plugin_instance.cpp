#include "tools/plughost/plugin_instance.h"

#include "tools/plughost/host_error.h"
#include "tools/plughost/host_text.h"

namespace plughost {

PluginInstance::PluginInstance(const PluginLibrary& library, HostCallbackRecorder& host)
    : library_(&library), host_(host) {
  const std::string name = "plug-in '" + library.path().string() + "'";
  {
    HostCallbackRecorder::EntryScope scope(host_);
    effect_ = library.entry()(&HostCallbackRecorder::callback);
  }
  if (effect_ == nullptr) {
    throw HostError(name + ": its entry point '" + library.entryName() +
                    "' returned no effect (null)");
  }
  if (effect_->magic != kEffectMagic) {
    // Not a descriptor we can trust with a close request: leave it alone.
    std::string magic = fourCharText(effect_->magic);
    if (magic.rfind("0x", 0) != 0) {
      magic = "'" + magic + "' (" + hex32(effect_->magic) + ")";
    }
    effect_ = nullptr;
    throw HostError(name + ": the descriptor's magic is " + magic + ", not 'VstP'");
  }
  host_.attach(effect_);
}

PluginInstance::PluginInstance(AEffect* adopted, HostCallbackRecorder& host,
                               const PluginLibrary* library)
    : library_(library), host_(host), effect_(adopted) {
  host_.attach(effect_);
}

PluginInstance::~PluginInstance() {
  close();
}

void PluginInstance::close(bool switchOffFirst) {
  if (effect_ == nullptr) {
    return;
  }
  if (active_ && switchOffFirst) {
    setActive(false);
  }
  AEffect* effect = effect_;
  effect_ = nullptr;
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  host_.detach(effect);
}

VstIntPtr PluginInstance::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                   void* ptr, float opt) {
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void PluginInstance::open() {
  dispatch(effOpen);
}

void PluginInstance::start(float sampleRate, std::int32_t blockSize) {
  open();
  setSampleRate(sampleRate);
  setBlockSize(blockSize);
  setActive(true);
}

void PluginInstance::setSampleRate(float rate) {
  host_.setSampleRate(rate);
  dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

void PluginInstance::setBlockSize(std::int32_t frames) {
  host_.setBlockSize(frames);
  dispatch(effSetBlockSize, 0, frames);
}

void PluginInstance::setActive(bool active) {
  dispatch(effMainsChanged, 0, active ? 1 : 0);
  active_ = active;
}

std::int32_t PluginInstance::program() {
  return static_cast<std::int32_t>(dispatch(effGetProgram));
}

void PluginInstance::setProgram(std::int32_t program) {
  dispatch(effSetProgram, 0, program);
}

std::string PluginInstance::text(std::int32_t opcode, std::int32_t index) {
  char buffer[kHostTextBufferSize] = {};
  dispatch(opcode, index, 0, buffer);
  return hostText(buffer, sizeof buffer - 1);
}

std::string PluginInstance::programName() {
  return text(effGetProgramName, 0);
}

std::string PluginInstance::programName(std::int32_t program) {
  std::int32_t current = this->program();
  if (program == current) {
    return programName();
  }
  setProgram(program);
  std::string name = programName();
  setProgram(current);
  return name;
}

float PluginInstance::parameter(std::int32_t index) const {
  return effect_->getParameter(effect_, index);
}

void PluginInstance::setParameter(std::int32_t index, float value) {
  effect_->setParameter(effect_, index, value);
}

std::string PluginInstance::parameterName(std::int32_t index) {
  return text(effGetParamName, index);
}

std::string PluginInstance::parameterLabel(std::int32_t index) {
  return text(effGetParamLabel, index);
}

std::string PluginInstance::parameterDisplay(std::int32_t index) {
  return text(effGetParamDisplay, index);
}

std::int32_t PluginInstance::identify() {
  return static_cast<std::int32_t>(dispatch(effIdentify));
}

std::optional<EditorRect> PluginInstance::editorRect() {
  if ((effect_->flags & effFlagsHasEditor) == 0) {
    return std::nullopt;
  }
  EditorRect* rect = nullptr;
  // Some plug-ins answer 0 yet fill in the rectangle; the pointer is what counts.
  dispatch(effEditGetRect, 0, 0, &rect);
  if (rect == nullptr) {
    return std::nullopt;
  }
  return *rect;
}

bool PluginInstance::supports(ProcessMode mode) const {
  if (mode == ProcessMode::replacing) {
    return (effect_->flags & effFlagsCanReplacing) != 0 && effect_->processReplacing != nullptr;
  }
  return effect_->process != nullptr;
}

ProcessMode PluginInstance::preferredMode() const {
  return supports(ProcessMode::replacing) ? ProcessMode::replacing : ProcessMode::accumulating;
}

void PluginInstance::process(ProcessMode mode, float** inputs, float** outputs,
                             std::int32_t frames) {
  if (mode == ProcessMode::replacing) {
    effect_->processReplacing(effect_, inputs, outputs, frames);
  } else {
    effect_->process(effect_, inputs, outputs, frames);
  }
}

}  // namespace plughost
