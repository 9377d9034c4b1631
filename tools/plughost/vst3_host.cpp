#include "tools/plughost/vst3_host.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <iomanip>
#include <mutex>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "tools/plughost/host_error.h"
#include "tools/plughost/host_text.h"
#include "tools/plughost/plugin_library.h"
#include "tools/plughost/vst3_host_objects.h"
#include "tools/plughost/vst3_interfaces.h"
#if !defined(_WIN32)
#include "tools/plughost/vst3_run_loop.h"
#endif

namespace plughost {

namespace {

using vst3::Ref;
using vst3::tresult;

constexpr const char* kAudioModuleClass = "Audio Module Class";
constexpr double kDefaultSampleRate = 44100.0;
constexpr std::int32_t kDefaultMaxFrames = 512;
// The parameter changes one process call can carry, at the least; more are handed over in
// several calls (see Vst3HostedPlugin::process).
constexpr std::int32_t kMinChangePoints = 4096;
// The points each parameter the processor reports back may carry in one call.
constexpr std::int32_t kOutputPointsPerQueue = 64;

#if defined(_WIN32)
const char* const kPlatformType = Steinberg_kPlatformTypeHWND;
#if INTPTR_MAX == INT64_MAX
constexpr const char* kBundleArchitecture = "x86_64-win";
#else
constexpr const char* kBundleArchitecture = "x86-win";
#endif
constexpr const char* kModuleSuffix = ".vst3";
#else
const char* const kPlatformType = Steinberg_kPlatformTypeX11EmbedWindowID;
#if defined(__aarch64__)
constexpr const char* kBundleArchitecture = "aarch64-linux";
#elif defined(__i386__)
constexpr const char* kBundleArchitecture = "i386-linux";
#else
constexpr const char* kBundleArchitecture = "x86_64-linux";
#endif
constexpr const char* kModuleSuffix = ".so";
#endif

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return text;
}

// "DriveEffect.vst3/" names the same bundle as "DriveEffect.vst3".
std::string withoutTrailingSeparators(std::string text) {
  while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) {
    text.pop_back();
  }
  return text;
}

// A JSON number that prints as the float's shortest text (0.2, not 0.20000000298023224).
double jsonFloat(double value) {
  const std::string text = shortestFloatText(static_cast<float>(value));
  return std::strtod(text.c_str(), nullptr);
}

std::string floatText(double value) {
  return shortestFloatText(static_cast<float>(value));
}

struct FlagName {
  std::int32_t bit;
  const char* name;
};

constexpr FlagName kParameterFlags[] = {
    {Steinberg_Vst_ParameterInfo_ParameterFlags_kCanAutomate, "canAutomate"},
    {Steinberg_Vst_ParameterInfo_ParameterFlags_kIsReadOnly, "readOnly"},
    {Steinberg_Vst_ParameterInfo_ParameterFlags_kIsWrapAround, "wrapAround"},
    {Steinberg_Vst_ParameterInfo_ParameterFlags_kIsList, "list"},
    {Steinberg_Vst_ParameterInfo_ParameterFlags_kIsHidden, "hidden"},
    {Steinberg_Vst_ParameterInfo_ParameterFlags_kIsProgramChange, "programChange"},
    {Steinberg_Vst_ParameterInfo_ParameterFlags_kIsBypass, "bypass"},
};

std::vector<std::string> parameterFlagNames(std::int32_t flags) {
  std::vector<std::string> names;
  for (int shift = 0; shift < 32; ++shift) {
    const std::uint32_t bit = 1u << shift;
    if ((static_cast<std::uint32_t>(flags) & bit) == 0) {
      continue;
    }
    const auto* known =
        std::find_if(std::begin(kParameterFlags), std::end(kParameterFlags),
                     [bit](const FlagName& f) { return static_cast<std::uint32_t>(f.bit) == bit; });
    names.emplace_back(known != std::end(kParameterFlags) ? std::string(known->name)
                                                          : hex32(static_cast<std::int32_t>(bit)));
  }
  return names;
}

// The module file: loaded on construction with its entry function called where it exports one
// (ModuleEntry with the library's handle on Linux, InitDll on Windows), its exit function called
// and the file unloaded on destruction.
class Module {
 public:
  using GetFactory = Steinberg_IPluginFactory*(SMTG_STDMETHODCALLTYPE*)();

  Module(std::filesystem::path path, const std::string& label) : path_(std::move(path)) {
    std::string reason;
    handle_ = platform::openLibrary(path_, reason);
    if (handle_ == nullptr) {
      throw HostError(label + ": cannot be loaded: " + reason);
    }
#if defined(_WIN32)
    using Entry = bool (*)();
    auto* entry = reinterpret_cast<Entry>(platform::findSymbol(handle_, "InitDll"));
    const char* entryName = "InitDll";
    const bool entered = entry == nullptr || entry();
    exit_ = reinterpret_cast<Exit>(platform::findSymbol(handle_, "ExitDll"));
#else
    using Entry = bool (*)(void*);
    auto* entry = reinterpret_cast<Entry>(platform::findSymbol(handle_, "ModuleEntry"));
    const char* entryName = "ModuleEntry";
    const bool entered = entry == nullptr || entry(handle_);
    exit_ = reinterpret_cast<Exit>(platform::findSymbol(handle_, "ModuleExit"));
#endif
    if (!entered) {
      // A module whose entry failed is not left: its exit is not called either.
      exit_ = nullptr;
      close();
      throw HostError(label + ": its " + entryName + " failed");
    }
    getFactory_ = reinterpret_cast<GetFactory>(platform::findSymbol(handle_, "GetPluginFactory"));
    if (getFactory_ == nullptr) {
      close();
      throw HostError(label + ": exports no GetPluginFactory");
    }
  }
  ~Module() {
    close();
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  const std::filesystem::path& path() const {
    return path_;
  }
  // A counted reference to the factory, or null.
  Steinberg_IPluginFactory* factory() const {
    return getFactory_();
  }

 private:
  using Exit = bool (*)();

  void close() {
    if (exit_ != nullptr) {
      exit_();
      exit_ = nullptr;
    }
    if (handle_ != nullptr) {
      platform::closeLibrary(handle_);
      handle_ = nullptr;
    }
  }

  std::filesystem::path path_;
  void* handle_ = nullptr;
  Exit exit_ = nullptr;
  GetFactory getFactory_ = nullptr;
};

struct BusReport {
  std::string name;
  std::int32_t channels;
  std::int32_t busType;
  std::uint32_t flags;
  Steinberg_Vst_SpeakerArrangement arrangement;
};

// A parameter's value handed from one thread to another without a lock: the latest one wins. The
// sequence number puts the values of different parameters back in the order they were put.
struct Handover {
  std::atomic<double> value{0.0};
  std::atomic<std::uint64_t> sequence{0};
  std::atomic<bool> set{false};

  void put(double v, std::uint64_t order) {
    value.store(v, std::memory_order_relaxed);
    sequence.store(order, std::memory_order_relaxed);
    set.store(true, std::memory_order_release);
  }
  // The value put since the last take, if any.
  bool take(double& v, std::uint64_t& order) {
    if (!set.exchange(false, std::memory_order_acquire)) {
      return false;
    }
    v = value.load(std::memory_order_relaxed);
    order = sequence.load(std::memory_order_relaxed);
    return true;
  }
};

// The values the processor took, in the order it took them, from the audio thread to whoever
// next hands them to the controller: one writer and one reader, no lock, storage set aside
// once. When the reader falls behind by the whole log, entries are left out (the per-parameter
// Handover still has each parameter's last value).
class ChangeLog {
 public:
  struct Entry {
    std::int32_t index;
    double value;
    std::uint64_t sequence;
  };

  explicit ChangeLog(std::size_t capacity) : entries_(std::bit_ceil(capacity)) {}

  bool push(const Entry& entry) {
    const std::uint64_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) >= entries_.size()) {
      return false;
    }
    entries_[head & (entries_.size() - 1)] = entry;
    head_.store(head + 1, std::memory_order_release);
    return true;
  }
  template <typename Take>
  void drain(Take&& take) {
    const std::uint64_t head = head_.load(std::memory_order_acquire);
    std::uint64_t tail = tail_.load(std::memory_order_relaxed);
    for (; tail != head; ++tail) {
      take(entries_[tail & (entries_.size() - 1)]);
    }
    tail_.store(tail, std::memory_order_release);
  }

 private:
  std::vector<Entry> entries_;
  std::atomic<std::uint64_t> head_{0};
  std::atomic<std::uint64_t> tail_{0};
};

constexpr std::size_t kChangeLogEntries = 8192;

}  // namespace

bool isVst3Reference(const std::string& reference) {
  const std::string path = lowercase(withoutTrailingSeparators(reference));
  constexpr std::string_view kSuffix = ".vst3";
  return path.size() > kSuffix.size() && path.ends_with(kSuffix);
}

std::filesystem::path vst3ModulePath(const std::string& reference) {
  namespace fs = std::filesystem;
  fs::path path(withoutTrailingSeparators(reference));
  const std::string label = "plug-in '" + reference + "'";
  std::error_code error;
  if (fs::is_directory(path, error)) {
    const fs::path inside =
        fs::path("Contents") / kBundleArchitecture / (path.stem().string() + kModuleSuffix);
    if (!fs::is_regular_file(path / inside, error)) {
      throw HostError(label + ": the bundle has no " + inside.generic_string());
    }
    return path / inside;
  }
  if (!fs::exists(path, error)) {
    throw HostError(label + ": no such file");
  }
  if (!fs::is_regular_file(path, error)) {
    throw HostError(label + ": neither a bundle folder nor a module file");
  }
  return path;
}

// ---------------------------------------------------------------------------------------------

struct Vst3HostedPlugin::State final : vst3::ComponentHandlerListener {
  explicit State(const std::string& ref) : reference(ref), label("plug-in '" + ref + "'") {}
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  void load();
  void readBuses();
  void readParameters();
  void readPrograms();
  void allocate();
  void setActive(bool on);
  // Takes the host's changes waiting for the processor into hostOrder[0, n), in the order they
  // were made, and returns n.
  std::int32_t takeHostChanges();
  // One process call for `frames` frames from `base`, with the host changes hostOrder[hostBegin,
  // hostEnd) at its start and `changes` at their frames.
  void runPiece(float* const* inputs, float* const* outputs, std::int32_t base, std::int32_t frames,
                std::span<const ParameterChange> changes, std::int32_t hostBegin,
                std::int32_t hostEnd);
  void fillInputChanges(std::int32_t base, std::int32_t frames,
                        std::span<const ParameterChange> changes, std::int32_t hostBegin,
                        std::int32_t hostEnd);
  std::uint64_t nextSequence() { return sequence.fetch_add(1, std::memory_order_relaxed); }
  // A value the processor took (or reported), for the controller.
  void tookValue(std::int32_t index, double value) {
    const std::uint64_t order = nextSequence();
    tookLog.push({index, value, order});
    toController[static_cast<std::size_t>(index)].put(value, order);
  }
  void takeOutputChanges();
  // Hands the controller the values the processor took since it was last asked, in the order the
  // processor took them. With controllerMutex held.
  void syncController();
  void closeEditorLocked();
  // The host's scale, when one was given, to a view that takes one.
  void applyEditorScale(Steinberg_IPlugView* face) const;
  std::optional<EditorRect> viewSize(Steinberg_IPlugView* view) const;
  Steinberg_Vst_ParamValue normalized(int index) const;
  std::string valueText(int index, Steinberg_Vst_ParamValue value) const;
  std::string programNameLocked(int program) const;
  int currentProgramLocked() const;
  nlohmann::ordered_json report();
  void printTable(std::ostream& out, const nlohmann::ordered_json& r) const;

  // ComponentHandlerListener: the controller's edits, on the user-interface thread.
  void beginEdit(Steinberg_Vst_ParamID /*id*/) override {}
  tresult performEdit(Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue value) override;
  void endEdit(Steinberg_Vst_ParamID /*id*/) override {}
  void restartComponent(Steinberg_int32 flags) override {
    restartFlags.fetch_or(flags, std::memory_order_relaxed);
  }

  int parameterIndex(int index) const {
    if (index < 0 || index >= static_cast<int>(parameters.size())) {
      throw HostError("parameter index " + std::to_string(index) + " is out of range (" + label +
                      " has " + std::to_string(parameters.size()) + " parameters)");
    }
    return index;
  }

  std::string reference;
  std::string label;

  // Declared before the plug-in's objects, so that they outlive every reference the plug-in
  // holds to them; the module goes last of all.
  std::unique_ptr<Module> module;
  vst3::HostApplication host{"plughost"};
  vst3::ComponentHandler handler{*this};
#if defined(_WIN32)
  vst3::PlugFrame frame{nullptr};
#else
  vst3::RunLoop runLoop;
  vst3::PlugFrame frame{runLoop.loop()};
#endif

  Ref<Steinberg_IPluginFactory> factory;
  Steinberg_PFactoryInfo factoryInfo{};
  Steinberg_PClassInfo2 classInfo{};
  bool hasClassInfo2 = false;
  Ref<Steinberg_Vst_IComponent> component;
  bool componentInitialized = false;
  Ref<Steinberg_Vst_IAudioProcessor> processor;
  Ref<Steinberg_Vst_IEditController> controller;
  bool controllerSeparate = false;
  bool controllerInitialized = false;
  Steinberg_TUID controllerClassId{};
  Ref<Steinberg_Vst_IConnectionPoint> componentConnection;
  Ref<Steinberg_Vst_IConnectionPoint> controllerConnection;
  bool connected = false;
  Ref<Steinberg_Vst_IUnitInfo> unitInfo;
  Ref<Steinberg_IPlugView> view;

  std::vector<BusReport> inputBuses;
  std::vector<BusReport> outputBuses;
  bool arrangementAccepted = false;
  int inputChannels = 0;
  int outputChannels = 0;

  std::vector<Steinberg_Vst_ParameterInfo> parameters;
  std::unordered_map<Steinberg_Vst_ParamID, int> indexOf;
  int programParameter = -1;
  int programCount = 0;
  Steinberg_Vst_ProgramListID programList = Steinberg_Vst_kNoProgramListId;
  std::int32_t programListSize = 0;

  // Host changes for the processor (setParameter, the controller's edits), taken at the start of
  // the next process call; and values the processor took, for the controller.
  std::unique_ptr<Handover[]> toProcessor;
  std::unique_ptr<Handover[]> toController;
  ChangeLog tookLog{kChangeLogEntries};
  std::atomic<std::uint64_t> sequence{1};

  double sampleRate = kDefaultSampleRate;
  std::int32_t maxFrames = 0;
  std::atomic<bool> isActive{false};
  std::optional<double> editorScale;

  // Everything a process call uses, set aside by allocate().
  vst3::ParameterChangeList inputChanges;
  vst3::ParameterChangeList outputChanges;
  std::vector<std::int32_t> pointCounts;
  std::vector<std::int32_t> queueOrder;
  std::vector<std::int32_t> queueOf;
  std::vector<double> hostValues;
  std::vector<std::uint64_t> hostSequence;
  std::vector<std::int32_t> hostOrder;
  std::vector<Steinberg_Vst_AudioBusBuffers> inputBuffers;
  std::vector<Steinberg_Vst_AudioBusBuffers> outputBuffers;
  std::vector<float*> inputPointers;
  std::vector<float*> outputPointers;
  // Buses after the main ones read silence and write where nobody reads.
  std::vector<float> silence;
  std::vector<float> scratch;
  Steinberg_Vst_ProcessData data{};

  // Controller and view calls come from any thread plughost runs (a validator automates from one
  // while another idles the editor); a host makes them from its one user-interface thread, so
  // they are made one at a time. Never taken by a process call. Taken again by the thread that
  // holds it when a view's resize request reaches the command's resizer, which may ask the
  // editor's size.
  mutable std::recursive_mutex controllerMutex;
  mutable std::mutex automationMutex;
  std::vector<AutomationReport> automation;
  std::atomic<std::int32_t> restartFlags{0};
};

Vst3HostedPlugin::State::~State() {
  // Every call below is one a host makes on the way out; each is skipped when the step it undoes
  // never happened (a constructor that threw part way).
  {
    std::lock_guard lock(controllerMutex);
    closeEditorLocked();
  }
  if (isActive.load()) {
    processor.vtbl()->setProcessing(processor.get(), 0);
    component.vtbl()->setActive(component.get(), 0);
    isActive = false;
  }
  if (connected) {
    componentConnection.vtbl()->disconnect(componentConnection.get(), controllerConnection.get());
    controllerConnection.vtbl()->disconnect(controllerConnection.get(), componentConnection.get());
  }
  componentConnection.reset();
  controllerConnection.reset();
  unitInfo.reset();
  if (controller) {
    controller.vtbl()->setComponentHandler(controller.get(), nullptr);
  }
  if (controllerInitialized) {
    controller.vtbl()->terminate(controller.get());
  }
  if (componentInitialized) {
    component.vtbl()->terminate(component.get());
  }
  processor.reset();
  controller.reset();
  component.reset();
  factory.reset();
  module.reset();
}

void Vst3HostedPlugin::State::load() {
  module = std::make_unique<Module>(vst3ModulePath(reference), label);
  factory = Ref<Steinberg_IPluginFactory>(module->factory());
  if (!factory) {
    throw HostError(label + ": GetPluginFactory returned no factory");
  }
  factory.vtbl()->getFactoryInfo(factory.get(), &factoryInfo);
  const auto factory2 = factory.query<Steinberg_IPluginFactory2>(Steinberg_IPluginFactory2_iid);
  if (const auto factory3 =
          factory.query<Steinberg_IPluginFactory3>(Steinberg_IPluginFactory3_iid)) {
    factory3.vtbl()->setHostContext(factory3.get(), host.context());
  }

  bool found = false;
  const Steinberg_int32 classes = factory.vtbl()->countClasses(factory.get());
  for (Steinberg_int32 i = 0; i < classes && !found; ++i) {
    Steinberg_PClassInfo info{};
    if (factory.vtbl()->getClassInfo(factory.get(), i, &info) != Steinberg_kResultOk ||
        vst3::fieldText(info.category, sizeof info.category) != kAudioModuleClass) {
      continue;
    }
    found = true;
    std::memcpy(classInfo.cid, info.cid, sizeof info.cid);
    classInfo.cardinality = info.cardinality;
    std::memcpy(classInfo.category, info.category, sizeof info.category);
    std::memcpy(classInfo.name, info.name, sizeof info.name);
    Steinberg_PClassInfo2 info2{};
    if (factory2 &&
        factory2.vtbl()->getClassInfo2(factory2.get(), i, &info2) == Steinberg_kResultOk) {
      classInfo = info2;
      hasClassInfo2 = true;
    }
  }
  if (!found) {
    throw HostError(label + ": its factory has no class of category '" +
                    std::string(kAudioModuleClass) + "'");
  }

  void* made = nullptr;
  if (factory.vtbl()->createInstance(factory.get(), classInfo.cid, Steinberg_Vst_IComponent_iid,
                                     &made) != Steinberg_kResultOk ||
      made == nullptr) {
    throw HostError(label + ": its factory made no component of class " +
                    vst3::classIdText(classInfo.cid));
  }
  component = Ref<Steinberg_Vst_IComponent>(static_cast<Steinberg_Vst_IComponent*>(made));
  if (component.vtbl()->initialize(component.get(), host.context()) != Steinberg_kResultOk) {
    throw HostError(label + ": its component did not initialize");
  }
  componentInitialized = true;
  processor = component.query<Steinberg_Vst_IAudioProcessor>(Steinberg_Vst_IAudioProcessor_iid);
  if (!processor) {
    throw HostError(label + ": its component is no audio processor");
  }
  if (processor.vtbl()->canProcessSampleSize(
          processor.get(), Steinberg_Vst_SymbolicSampleSizes_kSample32) != Steinberg_kResultTrue) {
    throw HostError(label + ": it cannot process 32-bit samples");
  }

  // The controller: the component itself, or an object of the class it names.
  controller = component.query<Steinberg_Vst_IEditController>(Steinberg_Vst_IEditController_iid);
  if (!controller && component.vtbl()->getControllerClassId(component.get(), controllerClassId) ==
                         Steinberg_kResultOk) {
    made = nullptr;
    if (factory.vtbl()->createInstance(factory.get(), controllerClassId,
                                       Steinberg_Vst_IEditController_iid,
                                       &made) == Steinberg_kResultOk &&
        made != nullptr) {
      controller =
          Ref<Steinberg_Vst_IEditController>(static_cast<Steinberg_Vst_IEditController*>(made));
      controllerSeparate = true;
      if (controller.vtbl()->initialize(controller.get(), host.context()) != Steinberg_kResultOk) {
        throw HostError(label + ": its controller did not initialize");
      }
      controllerInitialized = true;
    }
  }
  if (controllerSeparate) {
    componentConnection =
        component.query<Steinberg_Vst_IConnectionPoint>(Steinberg_Vst_IConnectionPoint_iid);
    controllerConnection =
        controller.query<Steinberg_Vst_IConnectionPoint>(Steinberg_Vst_IConnectionPoint_iid);
    if (componentConnection && controllerConnection) {
      componentConnection.vtbl()->connect(componentConnection.get(), controllerConnection.get());
      controllerConnection.vtbl()->connect(controllerConnection.get(), componentConnection.get());
      connected = true;
    } else {
      componentConnection.reset();
      controllerConnection.reset();
    }
  }
  if (controller) {
    // The controller starts from the component's state, as after a host loads a project.
    vst3::MemoryStream state;
    if (component.vtbl()->getState(component.get(), state.stream()) == Steinberg_kResultOk) {
      state.rewind();
      controller.vtbl()->setComponentState(controller.get(), state.stream());
    }
    controller.vtbl()->setComponentHandler(controller.get(), handler.handler());
    unitInfo = controller.query<Steinberg_Vst_IUnitInfo>(Steinberg_Vst_IUnitInfo_iid);
  }

  readBuses();
  readParameters();
  readPrograms();
}

void Vst3HostedPlugin::State::readBuses() {
  const auto read = [this](Steinberg_Vst_BusDirection direction, std::vector<BusReport>& buses) {
    const Steinberg_int32 count =
        component.vtbl()->getBusCount(component.get(), Steinberg_Vst_MediaTypes_kAudio, direction);
    for (Steinberg_int32 i = 0; i < count; ++i) {
      Steinberg_Vst_BusInfo info{};
      BusReport bus{"", 0, Steinberg_Vst_BusTypes_kMain, 0, 0};
      if (component.vtbl()->getBusInfo(component.get(), Steinberg_Vst_MediaTypes_kAudio, direction,
                                       i, &info) == Steinberg_kResultOk) {
        bus = {vst3::utf8(info.name, 128), std::max(info.channelCount, 0), info.busType, info.flags,
               0};
      }
      processor.vtbl()->getBusArrangement(processor.get(), direction, i, &bus.arrangement);
      buses.push_back(bus);
    }
    // The main bus carries the audio; any others keep the state the plug-in gave them.
    if (count > 0) {
      component.vtbl()->activateBus(component.get(), Steinberg_Vst_MediaTypes_kAudio, direction, 0,
                                    1);
    }
  };
  read(Steinberg_Vst_BusDirections_kInput, inputBuses);
  read(Steinberg_Vst_BusDirections_kOutput, outputBuses);

  // Stereo on the main buses, the others as they are; a plug-in that refuses keeps its own.
  std::vector<Steinberg_Vst_SpeakerArrangement> ins;
  std::vector<Steinberg_Vst_SpeakerArrangement> outs;
  for (const BusReport& bus : inputBuses) {
    ins.push_back(ins.empty() ? Steinberg_Vst_SpeakerArr_kStereo : bus.arrangement);
  }
  for (const BusReport& bus : outputBuses) {
    outs.push_back(outs.empty() ? Steinberg_Vst_SpeakerArr_kStereo : bus.arrangement);
  }
  arrangementAccepted =
      processor.vtbl()->setBusArrangements(
          processor.get(), ins.data(), static_cast<Steinberg_int32>(ins.size()), outs.data(),
          static_cast<Steinberg_int32>(outs.size())) == Steinberg_kResultTrue;

  const auto channels = [this](Steinberg_Vst_BusDirection direction,
                               std::vector<BusReport>& buses) {
    for (std::size_t i = 0; i < buses.size(); ++i) {
      Steinberg_Vst_SpeakerArrangement arrangement = 0;
      if (processor.vtbl()->getBusArrangement(processor.get(), direction,
                                              static_cast<Steinberg_int32>(i),
                                              &arrangement) == Steinberg_kResultOk) {
        buses[i].arrangement = arrangement;
        buses[i].channels = std::popcount(arrangement);
      }
      if (buses[i].channels > kMaxChannels) {
        throw HostError(label + ": its audio bus '" + buses[i].name + "' has " +
                        std::to_string(buses[i].channels) + " channels");
      }
    }
  };
  channels(Steinberg_Vst_BusDirections_kInput, inputBuses);
  channels(Steinberg_Vst_BusDirections_kOutput, outputBuses);
  inputChannels = inputBuses.empty() ? 0 : inputBuses[0].channels;
  outputChannels = outputBuses.empty() ? 0 : outputBuses[0].channels;
}

Plugin::ParameterTraits Vst3HostedPlugin::parameterTraits(int index) {
  const State& s = *state_;
  if (index < 0 || static_cast<std::size_t>(index) >= s.parameters.size()) {
    return {};
  }
  const Steinberg_Vst_ParameterInfo& info = s.parameters[static_cast<std::size_t>(index)];
  ParameterTraits traits;
  traits.steps = std::max(info.stepCount, 0);
  traits.bypass = (info.flags & Steinberg_Vst_ParameterInfo_ParameterFlags_kIsBypass) != 0;
  traits.programChange =
      (info.flags & Steinberg_Vst_ParameterInfo_ParameterFlags_kIsProgramChange) != 0;
  return traits;
}

void Vst3HostedPlugin::State::readParameters() {
  const Steinberg_int32 count =
      controller ? controller.vtbl()->getParameterCount(controller.get()) : 0;
  for (Steinberg_int32 i = 0; i < count; ++i) {
    Steinberg_Vst_ParameterInfo info{};
    if (controller.vtbl()->getParameterInfo(controller.get(), i, &info) != Steinberg_kResultOk) {
      throw HostError(label + ": its controller gave no information on parameter " +
                      std::to_string(i) + " of " + std::to_string(count));
    }
    indexOf.emplace(info.id, i);
    if ((info.flags & Steinberg_Vst_ParameterInfo_ParameterFlags_kIsProgramChange) != 0 &&
        programParameter < 0) {
      programParameter = i;
    }
    parameters.push_back(info);
  }
  toProcessor = std::make_unique<Handover[]>(parameters.size());
  toController = std::make_unique<Handover[]>(parameters.size());
}

void Vst3HostedPlugin::State::readPrograms() {
  if (programParameter < 0 ||
      parameters[static_cast<std::size_t>(programParameter)].stepCount <= 0) {
    programParameter = -1;
    return;
  }
  const Steinberg_Vst_ParameterInfo& info = parameters[static_cast<std::size_t>(programParameter)];
  programCount = info.stepCount + 1;
  if (!unitInfo) {
    return;
  }
  // The names: from the program list of the unit the parameter belongs to.
  const Steinberg_int32 units = unitInfo.vtbl()->getUnitCount(unitInfo.get());
  for (Steinberg_int32 u = 0; u < units; ++u) {
    Steinberg_Vst_UnitInfo unit{};
    if (unitInfo.vtbl()->getUnitInfo(unitInfo.get(), u, &unit) == Steinberg_kResultOk &&
        unit.id == info.unitId) {
      programList = unit.programListId;
    }
  }
  const Steinberg_int32 lists = unitInfo.vtbl()->getProgramListCount(unitInfo.get());
  for (Steinberg_int32 l = 0; l < lists; ++l) {
    Steinberg_Vst_ProgramListInfo list{};
    if (unitInfo.vtbl()->getProgramListInfo(unitInfo.get(), l, &list) == Steinberg_kResultOk &&
        list.id == programList) {
      programListSize = list.programCount;
    }
  }
}

void Vst3HostedPlugin::State::allocate() {
  const auto parameterCount = static_cast<std::int32_t>(parameters.size());
  const std::int32_t points = std::max(kMinChangePoints, 4 * parameterCount);
  inputChanges.reserve(parameterCount, points, 1);
  const std::int32_t reported = std::max(parameterCount, 16);
  outputChanges.reserve(reported, reported * kOutputPointsPerQueue, kOutputPointsPerQueue);
  pointCounts.assign(parameters.size(), 0);
  queueOrder.assign(parameters.size(), 0);
  queueOf.assign(parameters.size(), -1);
  hostValues.assign(parameters.size(), 0.0);
  hostSequence.assign(parameters.size(), 0);
  hostOrder.assign(parameters.size(), 0);

  std::size_t inputTotal = 0;
  std::size_t outputTotal = 0;
  for (const BusReport& bus : inputBuses) {
    inputTotal += static_cast<std::size_t>(bus.channels);
  }
  for (const BusReport& bus : outputBuses) {
    outputTotal += static_cast<std::size_t>(bus.channels);
  }
  const bool extraBuses = inputBuses.size() > 1 || outputBuses.size() > 1;
  silence.assign(extraBuses ? static_cast<std::size_t>(maxFrames) : 0, 0.0f);
  scratch.assign(extraBuses ? static_cast<std::size_t>(maxFrames) : 0, 0.0f);
  inputPointers.assign(inputTotal, silence.data());
  outputPointers.assign(outputTotal, scratch.data());

  const auto lay = [](const std::vector<BusReport>& buses, std::vector<float*>& pointers,
                      std::vector<Steinberg_Vst_AudioBusBuffers>& buffers) {
    buffers.assign(buses.size(), Steinberg_Vst_AudioBusBuffers{});
    std::size_t first = 0;
    for (std::size_t b = 0; b < buses.size(); ++b) {
      buffers[b].numChannels = buses[b].channels;
      buffers[b].silenceFlags = 0;
      buffers[b].Steinberg_Vst_AudioBusBuffers_channelBuffers32 =
          buses[b].channels > 0 ? pointers.data() + first : nullptr;
      first += static_cast<std::size_t>(buses[b].channels);
    }
  };
  lay(inputBuses, inputPointers, inputBuffers);
  lay(outputBuses, outputPointers, outputBuffers);

  data = Steinberg_Vst_ProcessData{};
  data.processMode = Steinberg_Vst_ProcessModes_kRealtime;
  data.symbolicSampleSize = Steinberg_Vst_SymbolicSampleSizes_kSample32;
  data.numInputs = static_cast<Steinberg_int32>(inputBuffers.size());
  data.numOutputs = static_cast<Steinberg_int32>(outputBuffers.size());
  data.inputs = inputBuffers.empty() ? nullptr : inputBuffers.data();
  data.outputs = outputBuffers.empty() ? nullptr : outputBuffers.data();
  data.inputParameterChanges = inputChanges.changes();
  data.outputParameterChanges = outputChanges.changes();
}

void Vst3HostedPlugin::State::setActive(bool on) {
  if (on == isActive.load()) {
    return;
  }
  if (on) {
    if (component.vtbl()->setActive(component.get(), 1) != Steinberg_kResultOk) {
      throw HostError(label + ": its component did not switch on (setActive)");
    }
    // kNotImplemented is a plug-in that needs no word before processing.
    processor.vtbl()->setProcessing(processor.get(), 1);
  } else {
    processor.vtbl()->setProcessing(processor.get(), 0);
    component.vtbl()->setActive(component.get(), 0);
  }
  isActive = on;
}

std::int32_t Vst3HostedPlugin::State::takeHostChanges() {
  std::int32_t count = 0;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (toProcessor[i].take(hostValues[i], hostSequence[i])) {
      // In order of sequence, by insertion: a handful of entries, and no memory to ask for.
      std::int32_t at = count++;
      while (at > 0 &&
             hostSequence[static_cast<std::size_t>(hostOrder[static_cast<std::size_t>(at - 1)])] >
                 hostSequence[i]) {
        hostOrder[static_cast<std::size_t>(at)] = hostOrder[static_cast<std::size_t>(at - 1)];
        --at;
      }
      hostOrder[static_cast<std::size_t>(at)] = static_cast<std::int32_t>(i);
    }
  }
  return count;
}

void Vst3HostedPlugin::State::fillInputChanges(std::int32_t base, std::int32_t frames,
                                               std::span<const ParameterChange> changes,
                                               std::int32_t hostBegin, std::int32_t hostEnd) {
  inputChanges.clear();
  std::int32_t queues = 0;
  const auto count = [&](std::int32_t index) {
    if (pointCounts[static_cast<std::size_t>(index)]++ == 0) {
      queueOrder[static_cast<std::size_t>(queues++)] = index;
    }
  };
  std::fill(pointCounts.begin(), pointCounts.end(), 0);
  // A change at or past the end of a block with audio waits for the next block; in a call
  // without audio (a flush) every change applies.
  const auto waits = [frames, base](const ParameterChange& c) {
    return frames > 0 && c.frame - base >= frames;
  };
  for (std::int32_t h = hostBegin; h < hostEnd; ++h) {
    count(hostOrder[static_cast<std::size_t>(h)]);
  }
  for (const ParameterChange& c : changes) {
    if (!waits(c)) {
      count(c.index);
    }
  }
  for (std::int32_t q = 0; q < queues; ++q) {
    const auto index = static_cast<std::size_t>(queueOrder[static_cast<std::size_t>(q)]);
    queueOf[index] = inputChanges.open(parameters[index].id, pointCounts[index]);
  }
  for (std::int32_t h = hostBegin; h < hostEnd; ++h) {
    const auto index = static_cast<std::size_t>(hostOrder[static_cast<std::size_t>(h)]);
    inputChanges.add(queueOf[index], 0, hostValues[index]);
  }
  for (const ParameterChange& c : changes) {
    const auto index = static_cast<std::size_t>(c.index);
    if (waits(c)) {
      toProcessor[index].put(c.value, nextSequence());
    } else {
      inputChanges.add(queueOf[index], std::clamp(c.frame - base, 0, frames), c.value);
    }
    tookValue(c.index, c.value);
  }
}

void Vst3HostedPlugin::State::takeOutputChanges() {
  for (std::int32_t q = 0; q < outputChanges.queueCount(); ++q) {
    const std::int32_t points = outputChanges.pointCount(q);
    const auto found = indexOf.find(outputChanges.queueId(q));
    if (points > 0 && found != indexOf.end()) {
      tookValue(found->second, outputChanges.point(q, points - 1).value);
    }
  }
}

void Vst3HostedPlugin::State::runPiece(float* const* inputs, float* const* outputs,
                                       std::int32_t base, std::int32_t frames,
                                       std::span<const ParameterChange> changes,
                                       std::int32_t hostBegin, std::int32_t hostEnd) {
  for (int c = 0; c < inputChannels; ++c) {
    inputPointers[static_cast<std::size_t>(c)] = inputs[c] + base;
  }
  for (int c = 0; c < outputChannels; ++c) {
    outputPointers[static_cast<std::size_t>(c)] = outputs[c] + base;
  }
  for (Steinberg_Vst_AudioBusBuffers& bus : inputBuffers) {
    bus.silenceFlags = 0;
  }
  std::fill(silence.begin(), silence.end(), 0.0f);
  data.numSamples = frames;
  fillInputChanges(base, frames, changes, hostBegin, hostEnd);
  outputChanges.clear();
  processor.vtbl()->process(processor.get(), &data);
  takeOutputChanges();
}

void Vst3HostedPlugin::State::syncController() {
  if (!controller) {
    return;
  }
  // In the processor's order: a program change brings values of its own, and values set after
  // it belong to the new program.
  std::vector<std::uint64_t> applied(parameters.size(), 0);
  tookLog.drain([&](const ChangeLog::Entry& e) {
    const auto i = static_cast<std::size_t>(e.index);
    controller.vtbl()->setParamNormalized(controller.get(), parameters[i].id, e.value);
    applied[i] = e.sequence;
  });
  // Values the log had no room for: each parameter's last, in order.
  struct Late {
    std::uint64_t order;
    std::size_t index;
    double value;
  };
  std::vector<Late> late;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    Late l{0, i, 0.0};
    if (toController[i].take(l.value, l.order) && l.order > applied[i]) {
      late.push_back(l);
    }
  }
  std::sort(late.begin(), late.end(),
            [](const Late& a, const Late& b) { return a.order < b.order; });
  for (const Late& l : late) {
    controller.vtbl()->setParamNormalized(controller.get(), parameters[l.index].id, l.value);
  }
}

tresult Vst3HostedPlugin::State::performEdit(Steinberg_Vst_ParamID id,
                                             Steinberg_Vst_ParamValue value) {
  const auto found = indexOf.find(id);
  if (found == indexOf.end()) {
    return Steinberg_kInvalidArgument;
  }
  // The edit reaches the audio as a host change does; the controller has it already.
  toProcessor[static_cast<std::size_t>(found->second)].put(value, nextSequence());
  try {
    std::lock_guard lock(automationMutex);
    automation.push_back({found->second, static_cast<float>(value)});
  } catch (const std::exception&) {
    return Steinberg_kOutOfMemory;
  }
  return Steinberg_kResultOk;
}

Steinberg_Vst_ParamValue Vst3HostedPlugin::State::normalized(int index) const {
  return controller.vtbl()->getParamNormalized(controller.get(),
                                               parameters[static_cast<std::size_t>(index)].id);
}

std::string Vst3HostedPlugin::State::valueText(int index, Steinberg_Vst_ParamValue value) const {
  Steinberg_Vst_String128 text{};
  if (controller.vtbl()->getParamStringByValue(controller.get(),
                                               parameters[static_cast<std::size_t>(index)].id,
                                               value, text) != Steinberg_kResultOk) {
    return "";
  }
  return vst3::utf8(text, 128);
}

int Vst3HostedPlugin::State::currentProgramLocked() const {
  const int steps = parameters[static_cast<std::size_t>(programParameter)].stepCount;
  // The plain value of a stepped parameter, as the API defines it.
  return std::clamp(static_cast<int>(normalized(programParameter) * (steps + 1)), 0, steps);
}

std::string Vst3HostedPlugin::State::programNameLocked(int program) const {
  if (program < programListSize) {
    Steinberg_Vst_String128 name{};
    if (unitInfo.vtbl()->getProgramName(unitInfo.get(), programList, program, name) ==
        Steinberg_kResultOk) {
      return vst3::utf8(name, 128);
    }
  }
  const int steps = parameters[static_cast<std::size_t>(programParameter)].stepCount;
  return valueText(programParameter, static_cast<double>(program) / steps);
}

void Vst3HostedPlugin::State::closeEditorLocked() {
  if (!view) {
    return;
  }
  view.vtbl()->removed(view.get());
  view.vtbl()->setFrame(view.get(), nullptr);
#if !defined(_WIN32)
  runLoop.clear();
#endif
  view.reset();
}

void Vst3HostedPlugin::State::applyEditorScale(Steinberg_IPlugView* face) const {
  if (!editorScale) {
    return;
  }
  void* support = nullptr;
  if (face->lpVtbl->queryInterface(face, Steinberg_IPlugViewContentScaleSupport_iid, &support) !=
          Steinberg_kResultOk ||
      support == nullptr) {
    return;
  }
  const Ref<Steinberg_IPlugViewContentScaleSupport> scale(
      static_cast<Steinberg_IPlugViewContentScaleSupport*>(support));
  scale.vtbl()->setContentScaleFactor(scale.get(), static_cast<float>(*editorScale));
}

std::optional<EditorRect> Vst3HostedPlugin::State::viewSize(Steinberg_IPlugView* face) const {
  Steinberg_ViewRect size{};
  if (face->lpVtbl->getSize(face, &size) != Steinberg_kResultOk) {
    return std::nullopt;
  }
  const auto narrow = [](Steinberg_int32 v) {
    return static_cast<std::int16_t>(std::clamp<Steinberg_int32>(v, INT16_MIN, INT16_MAX));
  };
  return EditorRect{narrow(size.top), narrow(size.left), narrow(size.bottom), narrow(size.right)};
}

// ---------------------------------------------------------------------------------------------
// What `info` shows.

nlohmann::ordered_json Vst3HostedPlugin::State::report() {
  using Json = nlohmann::ordered_json;
  Json r;
  r["format"] = formatName(PluginFormat::vst3);
  r["path"] = reference;
  r["module"] = module->path().string();
  r["factory"] = {{"vendor", vst3::fieldText(factoryInfo.vendor, sizeof factoryInfo.vendor)},
                  {"url", vst3::fieldText(factoryInfo.url, sizeof factoryInfo.url)},
                  {"email", vst3::fieldText(factoryInfo.email, sizeof factoryInfo.email)},
                  {"flags", factoryInfo.flags}};
  Json effect;
  effect["name"] = vst3::fieldText(classInfo.name, sizeof classInfo.name);
  effect["category"] = vst3::fieldText(classInfo.category, sizeof classInfo.category);
  if (hasClassInfo2) {
    effect["subCategories"] =
        vst3::fieldText(classInfo.subCategories, sizeof classInfo.subCategories);
    effect["vendor"] = vst3::fieldText(classInfo.vendor, sizeof classInfo.vendor);
    effect["version"] = vst3::fieldText(classInfo.version, sizeof classInfo.version);
    effect["sdkVersion"] = vst3::fieldText(classInfo.sdkVersion, sizeof classInfo.sdkVersion);
  } else {
    effect["subCategories"] = nullptr;
    effect["vendor"] = nullptr;
    effect["version"] = nullptr;
    effect["sdkVersion"] = nullptr;
  }
  effect["classId"] = vst3::classIdText(classInfo.cid);
  r["class"] = effect;
  if (!controller) {
    r["controller"] = nullptr;
  } else if (controllerSeparate) {
    r["controller"] = {{"classId", vst3::classIdText(controllerClassId)}, {"connected", connected}};
  } else {
    r["controller"] = {{"classId", nullptr}, {"connected", false}};
  }
  const auto buses = [](const std::vector<BusReport>& list) {
    Json out = Json::array();
    for (std::size_t i = 0; i < list.size(); ++i) {
      out.push_back(
          {{"index", i},
           {"name", list[i].name},
           {"channels", list[i].channels},
           {"type", list[i].busType == Steinberg_Vst_BusTypes_kMain ? "main" : "aux"},
           {"defaultActive", (list[i].flags & Steinberg_Vst_BusInfo_BusFlags_kDefaultActive) != 0},
           {"active", i == 0}});
    }
    return out;
  };
  r["buses"] = {{"inputs", buses(inputBuses)},
                {"outputs", buses(outputBuses)},
                {"stereoAccepted", arrangementAccepted}};
  r["parameters"] = Json::array();
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const Steinberg_Vst_ParameterInfo& p = parameters[i];
    const double value = normalized(static_cast<int>(i));
    r["parameters"].push_back(
        {{"index", i},
         {"id", p.id},
         {"title", vst3::utf8(p.title, 128)},
         {"shortTitle", vst3::utf8(p.shortTitle, 128)},
         {"units", vst3::utf8(p.units, 128)},
         {"flags", {{"value", p.flags}, {"names", parameterFlagNames(p.flags)}}},
         {"default", jsonFloat(p.defaultNormalizedValue)},
         {"stepCount", p.stepCount},
         {"unit", p.unitId},
         {"value", jsonFloat(value)},
         {"display", valueText(static_cast<int>(i), value)}});
  }
  r["programs"] = Json::array();
  for (int p = 0; p < programCount; ++p) {
    r["programs"].push_back({{"index", p}, {"name", programNameLocked(p)}});
  }
  r["currentProgram"] = programCount > 0 ? Json(currentProgramLocked()) : Json(nullptr);
  std::optional<EditorRect> editor;
  if (view) {
    editor = viewSize(view.get());
  } else if (controller) {
    const Ref<Steinberg_IPlugView> probe(controller.vtbl()->createView(controller.get(), "editor"));
    if (probe) {
      editor = viewSize(probe.get());
    }
  }
  if (editor) {
    r["editor"] = {{"width", editor->right - editor->left},
                   {"height", editor->bottom - editor->top}};
  } else {
    r["editor"] = nullptr;
  }
  r["automation"] = Json::array();
  {
    std::lock_guard lock(automationMutex);
    for (const AutomationReport& a : automation) {
      r["automation"].push_back({{"index", a.index}, {"value", jsonFloat(a.value)}});
    }
  }
  return r;
}

namespace {

std::string text(const nlohmann::ordered_json& value) {
  if (value.is_null()) {
    return "-";
  }
  if (value.is_string()) {
    return value.get<std::string>();
  }
  if (value.is_number_float()) {
    return floatText(value.get<double>());
  }
  return value.dump();
}

}  // namespace

void Vst3HostedPlugin::State::printTable(std::ostream& out, const nlohmann::ordered_json& r) const {
  const auto row = [&out](const char* key, const std::string& value) {
    out << "  " << std::left << std::setw(16) << key << value << '\n';
  };
  out << "VST 3 plug-in " << text(r["path"]) << " (module " << text(r["module"]) << ")\n";
  const auto& f = r["factory"];
  row("vendor", text(f["vendor"]));
  row("url", text(f["url"]));
  row("email", text(f["email"]));
  const auto& c = r["class"];
  row("class", text(c["name"]));
  row("category", text(c["category"]));
  row("sub-categories", text(c["subCategories"]));
  row("class vendor", text(c["vendor"]));
  row("version", text(c["version"]));
  row("SDK version", text(c["sdkVersion"]));
  row("class ID", text(c["classId"]));
  if (r["controller"].is_null()) {
    row("controller", "none");
  } else if (r["controller"]["classId"].is_null()) {
    row("controller", "the component itself");
  } else {
    row("controller", text(r["controller"]["classId"]) +
                          (r["controller"]["connected"].get<bool>() ? "  (connected)" : ""));
  }
  for (const char* side : {"inputs", "outputs"}) {
    std::string buses;
    for (const auto& bus : r["buses"][side]) {
      if (!buses.empty()) {
        buses += ", ";
      }
      buses += text(bus["name"]) + " (" + text(bus["channels"]) + " channels, " +
               text(bus["type"]) + ")";
    }
    row(side, buses.empty() ? "none" : buses);
  }
  if (r["editor"].is_null()) {
    row("editor", "none");
  } else {
    row("editor", text(r["editor"]["width"]) + " x " + text(r["editor"]["height"]));
  }

  if (!r["parameters"].empty()) {
    out << "\nParameters\n";
    out << "  " << std::left << std::setw(4) << "#" << std::setw(8) << "id" << std::setw(16)
        << "title" << std::setw(8) << "value" << std::setw(10) << "display" << std::setw(8)
        << "units" << std::setw(9) << "default" << std::setw(7) << "steps"
        << "flags\n";
    for (const auto& p : r["parameters"]) {
      std::string flags;
      for (const auto& name : p["flags"]["names"]) {
        if (!flags.empty()) {
          flags += ' ';
        }
        flags += name.get<std::string>();
      }
      out << "  " << std::left << std::setw(4) << text(p["index"]) << std::setw(8) << text(p["id"])
          << std::setw(16) << text(p["title"]) << std::setw(8) << text(p["value"]) << std::setw(10)
          << text(p["display"]) << std::setw(8) << text(p["units"]) << std::setw(9)
          << text(p["default"]) << std::setw(7) << text(p["stepCount"]) << flags << '\n';
    }
  }
  if (!r["programs"].empty()) {
    out << "\nPrograms\n";
    for (const auto& p : r["programs"]) {
      out << "  " << std::left << std::setw(4) << text(p["index"]) << text(p["name"])
          << (p["index"] == r["currentProgram"] ? "  (current)" : "") << '\n';
    }
  }
  if (!r["automation"].empty()) {
    out << "\nAutomation reported while asked\n";
    for (const auto& a : r["automation"]) {
      out << "  parameter " << text(a["index"]) << " = " << text(a["value"]) << '\n';
    }
  }
}

// ---------------------------------------------------------------------------------------------

Vst3HostedPlugin::Vst3HostedPlugin(const std::string& reference)
    : state_(std::make_unique<State>(reference)) {
  state_->frame.setResizer(
      [this](int width, int height) { return resizeEditorWindow(width, height); });
  state_->load();
  setup(kDefaultSampleRate, kDefaultMaxFrames);
}

Vst3HostedPlugin::~Vst3HostedPlugin() = default;

std::string Vst3HostedPlugin::name() {
  return vst3::fieldText(state_->classInfo.name, sizeof state_->classInfo.name);
}

int Vst3HostedPlugin::inputCount() const {
  return state_->inputChannels;
}

int Vst3HostedPlugin::outputCount() const {
  return state_->outputChannels;
}

int Vst3HostedPlugin::parameterCount() const {
  return static_cast<int>(state_->parameters.size());
}

std::string Vst3HostedPlugin::parameterName(int index) {
  return vst3::utf8(
      state_->parameters[static_cast<std::size_t>(state_->parameterIndex(index))].title, 128);
}

std::string Vst3HostedPlugin::parameterLabel(int index) {
  return vst3::utf8(
      state_->parameters[static_cast<std::size_t>(state_->parameterIndex(index))].units, 128);
}

std::string Vst3HostedPlugin::parameterDisplay(int index) {
  State& s = *state_;
  s.parameterIndex(index);
  std::lock_guard lock(s.controllerMutex);
  s.syncController();
  return s.valueText(index, s.normalized(index));
}

float Vst3HostedPlugin::parameter(int index) {
  State& s = *state_;
  s.parameterIndex(index);
  std::lock_guard lock(s.controllerMutex);
  s.syncController();
  return static_cast<float>(s.normalized(index));
}

void Vst3HostedPlugin::setParameter(int index, float value) {
  State& s = *state_;
  const auto i = static_cast<std::size_t>(s.parameterIndex(index));
  {
    std::lock_guard lock(s.controllerMutex);
    s.syncController();
    // After what the processor took before: the host's value is the latest.
    s.controller.vtbl()->setParamNormalized(s.controller.get(), s.parameters[i].id, value);
  }
  s.toProcessor[i].put(value, s.nextSequence());
}

int Vst3HostedPlugin::programCount() {
  return state_->programCount;
}

int Vst3HostedPlugin::program() {
  State& s = *state_;
  if (s.programCount == 0) {
    return 0;
  }
  std::lock_guard lock(s.controllerMutex);
  s.syncController();
  return s.currentProgramLocked();
}

void Vst3HostedPlugin::setProgram(int program) {
  State& s = *state_;
  if (s.programCount == 0) {
    throw HostError(s.label + " has no programs (no program-change parameter)");
  }
  if (program < 0 || program >= s.programCount) {
    throw HostError("program " + std::to_string(program) + " is out of range (" + s.label +
                    " has " + std::to_string(s.programCount) + " programs)");
  }
  const int steps = s.parameters[static_cast<std::size_t>(s.programParameter)].stepCount;
  setParameter(s.programParameter, static_cast<float>(program) / static_cast<float>(steps));
}

std::string Vst3HostedPlugin::programName(int program) {
  State& s = *state_;
  if (program < 0 || program >= s.programCount) {
    throw HostError("program " + std::to_string(program) + " is out of range (" + s.label +
                    " has " + std::to_string(s.programCount) + " programs)");
  }
  std::lock_guard lock(s.controllerMutex);
  return s.programNameLocked(program);
}

void Vst3HostedPlugin::setup(double sampleRate, std::int32_t maxFrames) {
  State& s = *state_;
  if (!(sampleRate > 0.0) || maxFrames < 1) {
    throw HostError("bad processing setup for " + s.label + ": " + std::to_string(sampleRate) +
                    " Hz, blocks of up to " + std::to_string(maxFrames) + " frames");
  }
  // The setup is made while switched off; a plug-in switched on is switched off for it and on
  // again after.
  const bool wasActive = s.isActive.load();
  s.setActive(false);
  Steinberg_Vst_ProcessSetup setup{Steinberg_Vst_ProcessModes_kRealtime,
                                   Steinberg_Vst_SymbolicSampleSizes_kSample32, maxFrames,
                                   sampleRate};
  if (s.processor.vtbl()->setupProcessing(s.processor.get(), &setup) != Steinberg_kResultOk) {
    throw HostError(s.label + ": its processor refused the setup (" +
                    shortestFloatText(static_cast<float>(sampleRate)) + " Hz, " +
                    std::to_string(maxFrames) + " frames, 32-bit samples)");
  }
  s.sampleRate = sampleRate;
  s.maxFrames = maxFrames;
  s.allocate();
  s.setActive(wasActive);
}

void Vst3HostedPlugin::setActive(bool active) {
  state_->setActive(active);
}

bool Vst3HostedPlugin::active() const {
  return state_->isActive.load();
}

void Vst3HostedPlugin::process(ProcessMode mode, float* const* inputs, float* const* outputs,
                               std::int32_t frames, std::span<const ParameterChange> changes) {
  State& s = *state_;
  if (mode != ProcessMode::replacing) {
    throw HostError(s.label + ": VST 3 plug-ins process replacing only");
  }
  if (!s.isActive.load(std::memory_order_relaxed)) {
    throw HostError(s.label + ": a block to process while switched off");
  }
  if (frames < 0 || frames > s.maxFrames) {
    throw HostError(s.label + ": a block of " + std::to_string(frames) +
                    " frames, beyond the set-up size " + std::to_string(s.maxFrames));
  }
  for (const ParameterChange& change : changes) {
    s.parameterIndex(change.index);
  }

  // The host's changes since the last block come first, at offset 0. A program change brings
  // values of its own, and changes at one offset do not say which came first: those made before
  // it go in a call of their own, without audio, so that they land in the program they were made
  // in.
  std::int32_t hostBegin = 0;
  const std::int32_t hostEnd = s.takeHostChanges();
  for (std::int32_t h = 1; h < hostEnd; ++h) {
    if (s.hostOrder[static_cast<std::size_t>(h)] == s.programParameter) {
      s.runPiece(inputs, outputs, 0, 0, {}, hostBegin, h);
      hostBegin = h;
    }
  }

  // The queues hold the host's changes too: one a parameter at most.
  const std::size_t room =
      static_cast<std::size_t>(s.inputChanges.pointCapacity()) - s.parameters.size();
  if (changes.size() <= room) {
    s.runPiece(inputs, outputs, 0, frames, changes, hostBegin, hostEnd);
    return;
  }
  // More changes than the queues hold: the block goes in several calls, each ending at the frame
  // of the first change that does not fit, which starts the next. Where a single frame holds
  // more changes than fit, the surplus goes in calls without audio at that frame. A plug-in that
  // applies changes at their offsets gives the same output either way.
  std::int32_t start = 0;
  std::size_t next = 0;
  for (;;) {
    std::size_t take = std::min(changes.size() - next, room);
    std::int32_t end = frames;
    if (next + take < changes.size()) {
      end = std::clamp(changes[next + take].frame, start, frames);
      while (take > 0 && changes[next + take - 1].frame >= end) {
        --take;
      }
      if (take == 0) {
        if (end > start) {
          s.runPiece(inputs, outputs, start, end - start, {}, hostBegin, hostEnd);
          hostBegin = hostEnd;
          start = end;
        }
        take = std::min(changes.size() - next, room);
        end = start;
      }
    }
    s.runPiece(inputs, outputs, start, end - start, changes.subspan(next, take), hostBegin,
               hostEnd);
    hostBegin = hostEnd;
    next += take;
    start = end;
    if (next >= changes.size() && start >= frames) {
      return;
    }
  }
}

std::optional<EditorRect> Vst3HostedPlugin::editorRect() {
  State& s = *state_;
  std::lock_guard lock(s.controllerMutex);
  if (s.view) {
    return s.viewSize(s.view.get());
  }
  if (!s.controller) {
    return std::nullopt;
  }
  // A view made only to be asked, as a host asks before it sizes its window: told the scale first.
  const Ref<Steinberg_IPlugView> view(
      s.controller.vtbl()->createView(s.controller.get(), "editor"));
  if (!view) {
    return std::nullopt;
  }
  s.applyEditorScale(view.get());
  return s.viewSize(view.get());
}

void Vst3HostedPlugin::setEditorScale(double factor) {
  State& s = *state_;
  std::lock_guard lock(s.controllerMutex);
  s.editorScale = factor;
  // An open view is told at once; it asks the frame for its new size.
  if (s.view) {
    s.applyEditorScale(s.view.get());
  }
}

void Vst3HostedPlugin::openEditor(void* parent) {
  // A host shows one view of a controller at a time: asked again, it closes the open one.
  closeEditor();
  State& s = *state_;
  std::lock_guard lock(s.controllerMutex);
  if (!s.controller) {
    throw HostError(s.label + ": it has no controller, and so no editor");
  }
  s.syncController();
  Ref<Steinberg_IPlugView> view(s.controller.vtbl()->createView(s.controller.get(), "editor"));
  if (!view) {
    throw HostError(s.label + ": its controller made no editor view");
  }
  if (view.vtbl()->isPlatformTypeSupported(view.get(), kPlatformType) != Steinberg_kResultTrue) {
    throw HostError(s.label + ": its editor view does not support " + kPlatformType);
  }
  view.vtbl()->setFrame(view.get(), s.frame.frame());
  s.applyEditorScale(view.get());
  // Asked before attached, as hosts ask to size their window: a view then opens at the size it
  // answered without asking the frame for another.
  s.viewSize(view.get());
  if (view.vtbl()->attached(view.get(), parent, kPlatformType) != Steinberg_kResultOk) {
    view.vtbl()->setFrame(view.get(), nullptr);
#if !defined(_WIN32)
    s.runLoop.clear();
#endif
    throw HostError(s.label + ": its editor view refused the host window (attached)");
  }
  s.view = std::move(view);
}

void Vst3HostedPlugin::idleEditor() {
  State& s = *state_;
  std::lock_guard lock(s.controllerMutex);
  s.syncController();
#if !defined(_WIN32)
  if (s.view) {
    s.runLoop.runOnce();
  }
#endif
}

void Vst3HostedPlugin::closeEditor() {
  State& s = *state_;
  std::lock_guard lock(s.controllerMutex);
  s.closeEditorLocked();
}

std::vector<AutomationReport> Vst3HostedPlugin::automation() const {
  std::lock_guard lock(state_->automationMutex);
  return state_->automation;
}

void Vst3HostedPlugin::describe(std::ostream& out, bool json) {
  State& s = *state_;
  nlohmann::ordered_json r;
  {
    std::lock_guard lock(s.controllerMutex);
    s.syncController();
    r = s.report();
  }
  if (json) {
    out << r.dump(2) << '\n';
  } else {
    s.printTable(out, r);
  }
}

const std::filesystem::path& Vst3HostedPlugin::modulePath() const {
  return state_->module->path();
}

std::string Vst3HostedPlugin::classId() const {
  return vst3::classIdText(state_->classInfo.cid);
}

std::int32_t Vst3HostedPlugin::restartFlags() const {
  return state_->restartFlags.load();
}

std::optional<EditorRect> Vst3HostedPlugin::requestedEditorSize() const {
  State& s = *state_;
  std::lock_guard lock(s.controllerMutex);
  if (!s.frame.resized()) {
    return std::nullopt;
  }
  const Steinberg_ViewRect size = s.frame.size();
  return EditorRect{static_cast<std::int16_t>(size.top), static_cast<std::int16_t>(size.left),
                    static_cast<std::int16_t>(size.bottom), static_cast<std::int16_t>(size.right)};
}

std::unique_ptr<Plugin> openVst3Plugin(const std::string& reference) {
  return std::make_unique<Vst3HostedPlugin>(reference);
}

}  // namespace plughost
