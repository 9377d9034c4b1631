#include "host/vst2/effect_base.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "editor/editor_base.h"

namespace {

// The five entries the descriptor hands to the host. Each finds its object through the
// descriptor's `object` field; none checks its arguments, as hosts pass what they were given.
VstIntPtr dispatcherEntry(AEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                          void* ptr, float opt) noexcept {
  EffectBase* object = EffectBase::fromDescriptor(effect);
  if (opcode == effClose) {
    object->dispatch(opcode, index, value, ptr, opt);
    delete object;
    return 1;
  }
  return object->dispatch(opcode, index, value, ptr, opt);
}

void processEntry(AEffect* effect, float** inputs, float** outputs,
                  std::int32_t sampleFrames) noexcept {
  EffectBase::fromDescriptor(effect)->process(inputs, outputs, sampleFrames);
}

void processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                           std::int32_t sampleFrames) noexcept {
  EffectBase::fromDescriptor(effect)->processReplacing(inputs, outputs, sampleFrames);
}

void setParameterEntry(AEffect* effect, std::int32_t index, float value) noexcept {
  EffectBase::fromDescriptor(effect)->setParameter(index, value);
}

float getParameterEntry(AEffect* effect, std::int32_t index) noexcept {
  return EffectBase::fromDescriptor(effect)->getParameter(index);
}

void makeEmpty(char* text) {
  if (text != nullptr) {
    text[0] = '\0';
  }
}

// The VU answer is the level scaled to 16-bit full scale and truncated; a level that does not fit
// the 32-bit result saturates instead of making the conversion undefined.
VstIntPtr scaledVuLevel(float level) {
  const double scaled = static_cast<double>(level) * 32767.0;
  if (!(scaled > std::numeric_limits<std::int32_t>::min())) {
    return std::isnan(scaled) ? 0 : std::numeric_limits<std::int32_t>::min();
  }
  if (scaled >= 2147483647.0) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(scaled);
}

}  // namespace

EffectBase::EffectBase(HostCallback callback, std::int32_t programs, std::int32_t parameters)
    : hostCallback(callback), programCount(programs), parameterCount(parameters) {
  std::memset(&descriptor, 0, sizeof descriptor);
  descriptor.magic = kEffectMagic;
  descriptor.dispatcher = dispatcherEntry;
  descriptor.process = processEntry;
  descriptor.setParameter = setParameterEntry;
  descriptor.getParameter = getParameterEntry;
  descriptor.numPrograms = programs;
  descriptor.numParams = parameters;
  descriptor.numInputs = 1;
  descriptor.numOutputs = 2;
  descriptor.flags = 0;
  descriptor.ioRatio = 1.0f;
  descriptor.object = this;
  descriptor.uniqueID = fourCharCode("NoEf");
  descriptor.version = 1;
  descriptor.processReplacing = processReplacingEntry;
}

EffectBase::~EffectBase() {
  delete editor;
}

void EffectBase::setParameter(std::int32_t /*index*/, float /*value*/) {}
float EffectBase::getParameter(std::int32_t /*index*/) {
  return 0.0f;
}

void EffectBase::automateParameter(std::int32_t index, float value) {
  setParameter(index, value);
  callHost(audioMasterAutomate, index, 0, nullptr, value);
}

float EffectBase::getVuLevel() {
  return 0.0f;
}
void EffectBase::processReplacing(float** /*inputs*/, float** /*outputs*/,
                                  std::int32_t /*sampleFrames*/) {}

VstIntPtr EffectBase::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                               float opt) {
  char* text = static_cast<char*>(ptr);
  switch (opcode) {
    case effOpen:
      open();
      return 0;
    case effClose:
      close();
      return 0;
    case effSetProgram:
      if (value >= 0 && value < programCount) {
        setProgram(static_cast<std::int32_t>(value));
      }
      return 0;
    case effGetProgram:
      return getProgram();
    // A host that passes no buffer gets no text rather than a write through null.
    case effSetProgramName:
      if (text != nullptr) {
        setProgramName(text);
      }
      return 0;
    case effGetProgramName:
      if (text != nullptr) {
        getProgramName(text);
      }
      return 0;
    case effGetParamLabel:
      if (text != nullptr) {
        getParameterLabel(index, text);
      }
      return 0;
    case effGetParamDisplay:
      if (text != nullptr) {
        getParameterDisplay(index, text);
      }
      return 0;
    case effGetParamName:
      if (text != nullptr) {
        getParameterName(index, text);
      }
      return 0;
    case effGetVu:
      return scaledVuLevel(getVuLevel());
    case effSetSampleRate:
      setSampleRate(opt);
      return 0;
    case effSetBlockSize:
      setBlockSize(static_cast<std::int32_t>(value));
      return 0;
    case effEditGetRect:
      if (editor != nullptr && ptr != nullptr) {
        return editor->getRect(static_cast<EditorRect**>(ptr));
      }
      return 0;
    case effEditOpen:
      return editor != nullptr ? editor->open(ptr) : 0;
    case effEditClose:
      if (editor != nullptr) {
        editor->close();
      }
      return 0;
    case effEditIdle:
      if (editor != nullptr) {
        editor->idle();
      }
      return 0;
    case effIdentify:
      return fourCharCode("NvEf");
    case effCanBeAutomated:
      if constexpr (kAnswersCanBeAutomated) {
        return index >= 0 && index < parameterCount ? 1 : 0;
      }
      return 0;
    default:  // effMainsChanged, effEditDraw/Mouse/Key/Top/Sleep and everything unknown
      return 0;
  }
}

void EffectBase::open() {}
void EffectBase::close() {}
std::int32_t EffectBase::getProgram() {
  return currentProgram.load(std::memory_order_relaxed);
}
void EffectBase::setProgram(std::int32_t program) {
  currentProgram.store(program, std::memory_order_relaxed);
}
void EffectBase::setProgramName(char* text) {
  makeEmpty(text);
}
void EffectBase::getProgramName(char* text) {
  makeEmpty(text);
}
void EffectBase::getParameterLabel(std::int32_t /*index*/, char* text) {
  makeEmpty(text);
}
void EffectBase::getParameterDisplay(std::int32_t /*index*/, char* text) {
  makeEmpty(text);
}
void EffectBase::getParameterName(std::int32_t /*index*/, char* text) {
  makeEmpty(text);
}
void EffectBase::setSampleRate(float rate) {
  sampleRate = rate;
}
void EffectBase::setBlockSize(std::int32_t size) {
  blockSize = size;
}
void EffectBase::reservedHook() {}
void EffectBase::setUniqueId(std::int32_t code) {
  descriptor.uniqueID = code;
}
void EffectBase::setNumInputs(std::int32_t count) {
  descriptor.numInputs = count;
}
void EffectBase::setNumOutputs(std::int32_t count) {
  descriptor.numOutputs = count;
}
void EffectBase::setHasVu(TruthValue state) {
  setFlag(effFlagsHasVu, state);
}
void EffectBase::setHasClip(TruthValue state) {
  setFlag(effFlagsHasClip, state);
}
void EffectBase::setCanMono(TruthValue state) {
  setFlag(effFlagsCanMono, state);
}
void EffectBase::setCanReplacing(TruthValue state) {
  setFlag(effFlagsCanReplacing, state);
}
void EffectBase::setRealQualities(std::int32_t count) {
  descriptor.realQualities = count;
}
void EffectBase::setOffQualities(std::int32_t count) {
  descriptor.offQualities = count;
}
void EffectBase::setInitialDelay(std::int32_t frames) {
  descriptor.initialDelay = frames;
}
float EffectBase::getSampleRate() {
  return sampleRate;
}
std::int32_t EffectBase::getBlockSize() {
  return blockSize;
}

std::int32_t EffectBase::getHostVersion() {
  if (hostCallback == nullptr) {
    return 1;
  }
  const auto version = static_cast<std::int32_t>(callHost(audioMasterVersion, 0, 0, nullptr, 0.0f));
  return version != 0 ? version : 1;
}

std::int32_t EffectBase::getHostCurrentId() {
  return static_cast<std::int32_t>(callHost(audioMasterCurrentId, 0, 0, nullptr, 0.0f));
}

std::int32_t EffectBase::hostIdle() {
  return static_cast<std::int32_t>(callHost(audioMasterIdle, 0, 0, nullptr, 0.0f));
}

// The pin request answers 0 for a connected pin.
TruthValue EffectBase::isInputConnected(std::int32_t input) {
  return callHost(audioMasterPinConnected, input, 0, nullptr, 0.0f) == 0 ? 1 : 0;
}

TruthValue EffectBase::isOutputConnected(std::int32_t output) {
  return callHost(audioMasterPinConnected, output, 1, nullptr, 0.0f) == 0 ? 1 : 0;
}

void EffectBase::setEditor(EditorBase* newEditor) {
  editor = newEditor;
  setFlag(effFlagsHasEditor, newEditor != nullptr ? 1 : 0);
}

void EffectBase::setFlag(std::int32_t bit, TruthValue state) {
  if (state != 0) {
    descriptor.flags |= bit;
  } else {
    descriptor.flags &= ~bit;
  }
}

VstIntPtr EffectBase::callHost(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                               float opt) {
  if (hostCallback == nullptr) {
    return 0;
  }
  return hostCallback(&descriptor, opcode, index, value, ptr, opt);
}
