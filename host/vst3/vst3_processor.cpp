// The audio side of the VST 3 plug-in: IComponent, IAudioProcessor and
// IProcessContextRequirements over one Vst3DriveEffect. A block is cut at every parameter change
// the host sends with it, and each piece is one processReplacing call with the values set just
// before it, exactly as a VST 2 host that splits its blocks at those frames would run the effect.
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "host/vst3/vst3_ids.h"
#include "host/vst3/vst3_plugin.h"

namespace vst3 {

DriveVst3State Vst3DriveEffect::captureState(bool bypass) {
  DriveVst3State state;
  state.currentProgram = currentProgram.load(std::memory_order_relaxed);
  state.bypass = bypass;
  for (std::int32_t p = 0; p < kDriveProgramCount; ++p) {
    copyText(state.programs[p].name, programs[p].name);
    for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
      state.programs[p].values[i] = programs[p].values[i].load(std::memory_order_relaxed);
    }
  }
  return state;
}

void Vst3DriveEffect::restoreState(const DriveVst3State& state) {
  for (std::int32_t p = 0; p < kDriveProgramCount; ++p) {
    copyText(programs[p].name, state.programs[p].name);
    for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
      programs[p].values[i].store(state.programs[p].values[i], std::memory_order_relaxed);
    }
  }
  setProgram(state.currentProgram);
}

namespace {

using Component = Steinberg_Vst_IComponent;
using AudioProcessor = Steinberg_Vst_IAudioProcessor;
using ContextRequirements = Steinberg_Vst_IProcessContextRequirements;

constexpr Steinberg_Vst_SpeakerArrangement kStereo = Steinberg_Vst_SpeakerArr_kStereo;
constexpr std::int32_t kChannels = 2;
// Queues beyond this many in one block are more than a host sends for six parameters; their
// changes are left out rather than stored anywhere that would need memory.
constexpr std::int32_t kMaxQueues = 16;

bool isAudioBus(Steinberg_Vst_MediaType type, std::int32_t index) {
  return type == Steinberg_Vst_MediaTypes_kAudio && index == 0;
}

// One parameter's changes within a block, walked in order as the block is cut.
struct PendingQueue {
  Steinberg_Vst_IParamValueQueue* queue;
  Steinberg_Vst_ParamID id;
  std::int32_t count;
  std::int32_t next;

  // The sample offset of the next change, or INT_MAX when none is left (or it cannot be read).
  std::int32_t nextOffset() const {
    if (next >= count) {
      return INT_MAX;
    }
    Steinberg_int32 offset = 0;
    Steinberg_Vst_ParamValue value = 0.0;
    if (queue->lpVtbl->getPoint(queue, next, &offset, &value) != Steinberg_kResultOk) {
      return INT_MAX;
    }
    return offset;
  }
};

bool allZero(const float* samples, std::int32_t frames) {
  for (std::int32_t i = 0; i < frames; ++i) {
    if (samples[i] != 0.0f) {
      return false;
    }
  }
  return true;
}

class Processor {
 public:
  Processor() noexcept;

  tresult queryInterface(const char* iid, void** obj) noexcept;
  Steinberg_uint32 addRef() noexcept { return refs_.add(); }
  Steinberg_uint32 release() noexcept;

  tresult initialize(Steinberg_FUnknown* /*context*/) noexcept { return Steinberg_kResultOk; }
  tresult terminate() noexcept { return Steinberg_kResultOk; }
  tresult getControllerClassId(char* classId) noexcept;
  tresult setIoMode(Steinberg_Vst_IoMode /*mode*/) noexcept { return Steinberg_kResultOk; }
  Steinberg_int32 getBusCount(Steinberg_Vst_MediaType type,
                              Steinberg_Vst_BusDirection dir) noexcept;
  tresult getBusInfo(Steinberg_Vst_MediaType type, Steinberg_Vst_BusDirection dir,
                     Steinberg_int32 index, Steinberg_Vst_BusInfo* bus) noexcept;
  tresult getRoutingInfo(Steinberg_Vst_RoutingInfo* /*in*/,
                         Steinberg_Vst_RoutingInfo* /*out*/) noexcept {
    return Steinberg_kNotImplemented;
  }
  tresult activateBus(Steinberg_Vst_MediaType type, Steinberg_Vst_BusDirection dir,
                      Steinberg_int32 index, Steinberg_TBool state) noexcept;
  tresult setActive(Steinberg_TBool state) noexcept;
  tresult setState(Steinberg_IBStream* stream) noexcept;
  tresult getState(Steinberg_IBStream* stream) noexcept;

  tresult setBusArrangements(Steinberg_Vst_SpeakerArrangement* inputs, Steinberg_int32 numIns,
                             Steinberg_Vst_SpeakerArrangement* outputs,
                             Steinberg_int32 numOuts) noexcept;
  tresult getBusArrangement(Steinberg_Vst_BusDirection dir, Steinberg_int32 index,
                            Steinberg_Vst_SpeakerArrangement* arrangement) noexcept;
  tresult canProcessSampleSize(Steinberg_int32 size) noexcept {
    return size == Steinberg_Vst_SymbolicSampleSizes_kSample32 ? Steinberg_kResultTrue
                                                               : Steinberg_kResultFalse;
  }
  Steinberg_uint32 getLatencySamples() noexcept { return 0; }
  tresult setupProcessing(Steinberg_Vst_ProcessSetup* setup) noexcept;
  tresult setProcessing(Steinberg_TBool /*state*/) noexcept { return Steinberg_kResultOk; }
  tresult process(Steinberg_Vst_ProcessData* data) noexcept;
  Steinberg_uint32 getTailSamples() noexcept { return 0; }

  // The effect reads no transport, tempo or time.
  Steinberg_uint32 getProcessContextRequirements() noexcept { return 0; }

  bool complete() const { return effect_.complete(); }

 private:
  void applyChange(Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue value);
  // Applies every change of the queue at or before `offset` (all that are left when `all`).
  void applyQueue(PendingQueue& pending, std::int32_t offset, bool all);
  void runSegment(Steinberg_Vst_ProcessData& data, std::int32_t start, std::int32_t frames);

  Slot<Component, Processor> component_;
  Slot<AudioProcessor, Processor> audioProcessor_;
  Slot<ContextRequirements, Processor> contextRequirements_;
  RefCount refs_;
  Vst3DriveEffect effect_;
  // Written by the audio thread (a change in a block) and by setState; read by both.
  std::atomic<bool> bypass_{false};
};

const Steinberg_Vst_IComponentVtbl kComponentVtbl = {
    thunk<Component, &Processor::queryInterface>,
    thunk<Component, &Processor::addRef>,
    thunk<Component, &Processor::release>,
    thunk<Component, &Processor::initialize>,
    thunk<Component, &Processor::terminate>,
    thunk<Component, &Processor::getControllerClassId>,
    thunk<Component, &Processor::setIoMode>,
    thunk<Component, &Processor::getBusCount>,
    thunk<Component, &Processor::getBusInfo>,
    thunk<Component, &Processor::getRoutingInfo>,
    thunk<Component, &Processor::activateBus>,
    thunk<Component, &Processor::setActive>,
    thunk<Component, &Processor::setState>,
    thunk<Component, &Processor::getState>,
};

const Steinberg_Vst_IAudioProcessorVtbl kAudioProcessorVtbl = {
    thunk<AudioProcessor, &Processor::queryInterface>,
    thunk<AudioProcessor, &Processor::addRef>,
    thunk<AudioProcessor, &Processor::release>,
    thunk<AudioProcessor, &Processor::setBusArrangements>,
    thunk<AudioProcessor, &Processor::getBusArrangement>,
    thunk<AudioProcessor, &Processor::canProcessSampleSize>,
    thunk<AudioProcessor, &Processor::getLatencySamples>,
    thunk<AudioProcessor, &Processor::setupProcessing>,
    thunk<AudioProcessor, &Processor::setProcessing>,
    thunk<AudioProcessor, &Processor::process>,
    thunk<AudioProcessor, &Processor::getTailSamples>,
};

const Steinberg_Vst_IProcessContextRequirementsVtbl kContextRequirementsVtbl = {
    thunk<ContextRequirements, &Processor::queryInterface>,
    thunk<ContextRequirements, &Processor::addRef>,
    thunk<ContextRequirements, &Processor::release>,
    thunk<ContextRequirements, &Processor::getProcessContextRequirements>,
};

// The API's interface structs hold their vtables through non-const pointers; hosts only read them.
Processor::Processor() noexcept
    : component_{{const_cast<Steinberg_Vst_IComponentVtbl*>(&kComponentVtbl)}, this},
      audioProcessor_{{const_cast<Steinberg_Vst_IAudioProcessorVtbl*>(&kAudioProcessorVtbl)}, this},
      contextRequirements_{
          {const_cast<Steinberg_Vst_IProcessContextRequirementsVtbl*>(&kContextRequirementsVtbl)},
          this} {}

tresult Processor::queryInterface(const char* iid, void** obj) noexcept {
  if (obj == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  void* face = nullptr;
  if (sameId(iid, Steinberg_FUnknown_iid) || sameId(iid, Steinberg_IPluginBase_iid) ||
      sameId(iid, Steinberg_Vst_IComponent_iid)) {
    face = &component_;
  } else if (sameId(iid, Steinberg_Vst_IAudioProcessor_iid)) {
    face = &audioProcessor_;
  } else if (sameId(iid, Steinberg_Vst_IProcessContextRequirements_iid)) {
    face = &contextRequirements_;
  }
  *obj = face;
  if (face == nullptr) {
    return Steinberg_kNoInterface;
  }
  addRef();
  return Steinberg_kResultOk;
}

Steinberg_uint32 Processor::release() noexcept {
  const Steinberg_uint32 left = refs_.release();
  if (left == 0) {
    delete this;
  }
  return left;
}

tresult Processor::getControllerClassId(char* classId) noexcept {
  if (classId == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  std::memcpy(classId, kControllerClassId, sizeof(Steinberg_TUID));
  return Steinberg_kResultOk;
}

Steinberg_int32 Processor::getBusCount(Steinberg_Vst_MediaType type,
                                       Steinberg_Vst_BusDirection dir) noexcept {
  const bool knownDirection =
      dir == Steinberg_Vst_BusDirections_kInput || dir == Steinberg_Vst_BusDirections_kOutput;
  return type == Steinberg_Vst_MediaTypes_kAudio && knownDirection ? 1 : 0;
}

tresult Processor::getBusInfo(Steinberg_Vst_MediaType type, Steinberg_Vst_BusDirection dir,
                              Steinberg_int32 index, Steinberg_Vst_BusInfo* bus) noexcept {
  if (bus == nullptr || !isAudioBus(type, index) || getBusCount(type, dir) == 0) {
    return Steinberg_kInvalidArgument;
  }
  std::memset(bus, 0, sizeof *bus);
  bus->mediaType = type;
  bus->direction = dir;
  bus->channelCount = kChannels;
  copyText(bus->name, dir == Steinberg_Vst_BusDirections_kInput ? "Stereo In" : "Stereo Out");
  bus->busType = Steinberg_Vst_BusTypes_kMain;
  bus->flags = Steinberg_Vst_BusInfo_BusFlags_kDefaultActive;
  return Steinberg_kResultOk;
}

tresult Processor::activateBus(Steinberg_Vst_MediaType type, Steinberg_Vst_BusDirection dir,
                               Steinberg_int32 index, Steinberg_TBool /*state*/) noexcept {
  // The two main buses are all there is; the effect runs the same either way.
  return isAudioBus(type, index) && getBusCount(type, dir) == 1 ? Steinberg_kResultOk
                                                                : Steinberg_kInvalidArgument;
}

tresult Processor::setActive(Steinberg_TBool state) noexcept {
  // Each activation starts from rest, as an LV2 host's activate does; the values stay.
  if (state != 0) {
    effect_.clearFilters();
  }
  return Steinberg_kResultOk;
}

tresult Processor::setState(Steinberg_IBStream* stream) noexcept {
  const std::optional<DriveVst3State> state = readState(stream);
  if (!state) {
    return Steinberg_kResultFalse;
  }
  effect_.restoreState(*state);
  bypass_.store(state->bypass, std::memory_order_relaxed);
  return Steinberg_kResultOk;
}

tresult Processor::getState(Steinberg_IBStream* stream) noexcept {
  return writeState(stream, effect_.captureState(bypass_.load(std::memory_order_relaxed)))
             ? Steinberg_kResultOk
             : Steinberg_kResultFalse;
}

tresult Processor::setBusArrangements(Steinberg_Vst_SpeakerArrangement* inputs,
                                      Steinberg_int32 numIns,
                                      Steinberg_Vst_SpeakerArrangement* outputs,
                                      Steinberg_int32 numOuts) noexcept {
  // Stereo in, stereo out is the one arrangement; anything else is refused and stereo stays.
  const bool stereo = numIns == 1 && numOuts == 1 && inputs != nullptr && outputs != nullptr &&
                      inputs[0] == kStereo && outputs[0] == kStereo;
  return stereo ? Steinberg_kResultTrue : Steinberg_kResultFalse;
}

tresult Processor::getBusArrangement(Steinberg_Vst_BusDirection dir, Steinberg_int32 index,
                                     Steinberg_Vst_SpeakerArrangement* arrangement) noexcept {
  if (arrangement == nullptr || index != 0 ||
      getBusCount(Steinberg_Vst_MediaTypes_kAudio, dir) == 0) {
    return Steinberg_kInvalidArgument;
  }
  *arrangement = kStereo;
  return Steinberg_kResultOk;
}

tresult Processor::setupProcessing(Steinberg_Vst_ProcessSetup* setup) noexcept {
  if (setup == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  if (setup->symbolicSampleSize != Steinberg_Vst_SymbolicSampleSizes_kSample32) {
    return Steinberg_kResultFalse;
  }
  effect_.setSampleRate(static_cast<float>(setup->sampleRate));
  return Steinberg_kResultOk;
}

void Processor::applyChange(Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue value) {
  if (id < static_cast<Steinberg_Vst_ParamID>(kDriveParameterCount)) {
    effect_.setParameter(static_cast<std::int32_t>(id), static_cast<float>(value));
  } else if (id == kBypassId) {
    bypass_.store(value >= 0.5, std::memory_order_relaxed);
  } else if (id == kProgramId) {
    effect_.setProgram(normalizedToProgram(value));
  }
}

void Processor::applyQueue(PendingQueue& pending, std::int32_t offset, bool all) {
  while (pending.next < pending.count) {
    Steinberg_int32 at = 0;
    Steinberg_Vst_ParamValue value = 0.0;
    if (pending.queue->lpVtbl->getPoint(pending.queue, pending.next, &at, &value) !=
        Steinberg_kResultOk) {
      pending.next = pending.count;
      return;
    }
    if (!all && at > offset) {
      return;
    }
    applyChange(pending.id, value);
    ++pending.next;
  }
}

void Processor::runSegment(Steinberg_Vst_ProcessData& data, std::int32_t start,
                           std::int32_t frames) {
  float** in = data.inputs[0].Steinberg_Vst_AudioBusBuffers_channelBuffers32;
  float** out = data.outputs[0].Steinberg_Vst_AudioBusBuffers_channelBuffers32;
  float* inputs[kChannels] = {in[0] + start, in[1] + start};
  float* outputs[kChannels] = {out[0] + start, out[1] + start};
  if (bypass_.load(std::memory_order_relaxed)) {
    for (int c = 0; c < kChannels; ++c) {
      if (outputs[c] != inputs[c]) {
        std::memmove(outputs[c], inputs[c], static_cast<std::size_t>(frames) * sizeof(float));
      }
    }
  } else {
    effect_.processReplacing(inputs, outputs, frames);
  }
}

bool hasStereoAudio(const Steinberg_Vst_ProcessData& data) {
  if (data.numSamples <= 0 || data.numInputs < 1 || data.numOutputs < 1 || data.inputs == nullptr ||
      data.outputs == nullptr) {
    return false;
  }
  for (const Steinberg_Vst_AudioBusBuffers* bus : {&data.inputs[0], &data.outputs[0]}) {
    float** channels = bus->Steinberg_Vst_AudioBusBuffers_channelBuffers32;
    if (bus->numChannels < kChannels || channels == nullptr || channels[0] == nullptr ||
        channels[1] == nullptr) {
      return false;
    }
  }
  return true;
}

tresult Processor::process(Steinberg_Vst_ProcessData* data) noexcept {
  if (data == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  const bool audio = hasStereoAudio(*data);
  if (audio && data->symbolicSampleSize != Steinberg_Vst_SymbolicSampleSizes_kSample32) {
    return Steinberg_kInvalidArgument;
  }
  const std::int32_t frames = audio ? data->numSamples : 0;

  // The program change goes first, so that values changed at the same offset land in the new
  // program, as they would after a VST 2 host's effSetProgram.
  PendingQueue queues[kMaxQueues];
  std::int32_t queueCount = 0;
  if (Steinberg_Vst_IParameterChanges* changes = data->inputParameterChanges) {
    const std::int32_t count = changes->lpVtbl->getParameterCount(changes);
    for (std::int32_t pass = 0; pass < 2; ++pass) {
      for (std::int32_t i = 0; i < count && queueCount < kMaxQueues; ++i) {
        Steinberg_Vst_IParamValueQueue* queue = changes->lpVtbl->getParameterData(changes, i);
        if (queue == nullptr) {
          continue;
        }
        const Steinberg_Vst_ParamID id = queue->lpVtbl->getParameterId(queue);
        if ((id == kProgramId) == (pass == 0)) {
          queues[queueCount++] = {queue, id, queue->lpVtbl->getPointCount(queue), 0};
        }
      }
    }
  }

  std::int32_t position = 0;
  for (;;) {
    std::int32_t cut = frames;
    for (std::int32_t q = 0; q < queueCount; ++q) {
      cut = std::min(cut, std::max(queues[q].nextOffset(), position));
    }
    if (cut > position) {
      runSegment(*data, position, cut - position);
      position = cut;
    }
    // At the block's end whatever is left applies, so that the last value holds for the next.
    const bool end = position >= frames;
    for (std::int32_t q = 0; q < queueCount; ++q) {
      applyQueue(queues[q], position, end);
    }
    if (end) {
      break;
    }
  }

  if (audio) {
    Steinberg_Vst_AudioBusBuffers& output = data->outputs[0];
    float** channels = output.Steinberg_Vst_AudioBusBuffers_channelBuffers32;
    output.silenceFlags = 0;
    for (int c = 0; c < kChannels; ++c) {
      if (allZero(channels[c], frames)) {
        output.silenceFlags |= Steinberg_uint64{1} << c;
      }
    }
  }
  return Steinberg_kResultOk;
}

}  // namespace

tresult createProcessor(const char* iid, void** obj) noexcept {
  if (obj == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  *obj = nullptr;
  auto* processor = new (std::nothrow) Processor;
  if (processor == nullptr) {
    return Steinberg_kOutOfMemory;
  }
  if (!processor->complete()) {
    processor->release();
    return Steinberg_kOutOfMemory;
  }
  const tresult result = processor->queryInterface(iid, obj);
  processor->release();
  return result;
}

}  // namespace vst3
