// The edit side of the VST 3 plug-in: IEditController and IUnitInfo. It shares no memory with
// the processor; it keeps its own copy of the programs and values, brought in line by the
// component's state (setComponentState) and by the host's parameter changes, and follows a program
// change the way DriveEffect::setProgram does: the program's stored values become the current ones.
// Its own state also keeps the panel's zoom, which is the view's alone and no business of the
// processor.
#include <cstring>
#include <new>

#include "host/vst3/vst3_ids.h"
#include "host/vst3/vst3_plugin.h"
#include "host/vst3/vst3_text.h"
#include "host/vst3/vst3_view.h"

namespace vst3 {

namespace {

using EditController = Steinberg_Vst_IEditController;
using UnitInfo = Steinberg_Vst_IUnitInfo;

constexpr Steinberg_Vst_ParamID kParameterIds[kParameterCount] = {0, 1,         2,
                                                                  3, kBypassId, kProgramId};

bool isDriveId(Steinberg_Vst_ParamID id) {
  return id < static_cast<Steinberg_Vst_ParamID>(kDriveParameterCount);
}

bool isKnownId(Steinberg_Vst_ParamID id) {
  return isDriveId(id) || id == kBypassId || id == kProgramId;
}

// Compares a UTF-16 text with an ASCII one.
bool sameText(const Steinberg_char16* text, const char* ascii) {
  std::size_t i = 0;
  for (; ascii[i] != '\0'; ++i) {
    if (text[i] != static_cast<Steinberg_char16>(static_cast<unsigned char>(ascii[i]))) {
      return false;
    }
  }
  return text[i] == 0;
}

DriveVst3State initialState() {
  DriveVst3State state;
  for (DriveVst3Program& program : state.programs) {
    copyText(program.name, "Init");
    for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
      program.values[i] = kDriveParameters[i].defaultValue;
    }
  }
  return state;
}

class Controller final : public PanelHost {
 public:
  Controller() noexcept;
  ~Controller() { setComponentHandler(nullptr); }
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  tresult queryInterface(const char* iid, void** obj) noexcept;
  Steinberg_uint32 addRef() noexcept { return refs_.add(); }
  Steinberg_uint32 release() noexcept;

  tresult initialize(Steinberg_FUnknown* /*context*/) noexcept { return Steinberg_kResultOk; }
  tresult terminate() noexcept {
    setComponentHandler(nullptr);
    return Steinberg_kResultOk;
  }
  // The component's state: the parameters and programs, never the panel's zoom.
  tresult setComponentState(Steinberg_IBStream* stream) noexcept;
  // The controller saves the component's state too, then the zoom the user chose: a host that
  // restores a project may give each its own back without telling the controller the
  // component's (setComponentState).
  tresult setState(Steinberg_IBStream* stream) noexcept;
  tresult getState(Steinberg_IBStream* stream) noexcept {
    return writeState(stream, state_) && writeZoomTrailer(stream, chosenZoom_)
               ? Steinberg_kResultOk
               : Steinberg_kResultFalse;
  }
  Steinberg_int32 getParameterCount() noexcept { return kParameterCount; }
  tresult getParameterInfo(Steinberg_int32 index, Steinberg_Vst_ParameterInfo* info) noexcept;
  tresult getParamStringByValue(Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue value,
                                Steinberg_char16* text) noexcept;
  tresult getParamValueByString(Steinberg_Vst_ParamID id, Steinberg_char16* text,
                                Steinberg_Vst_ParamValue* value) noexcept;
  Steinberg_Vst_ParamValue normalizedParamToPlain(Steinberg_Vst_ParamID id,
                                                  Steinberg_Vst_ParamValue value) noexcept;
  Steinberg_Vst_ParamValue plainParamToNormalized(Steinberg_Vst_ParamID id,
                                                  Steinberg_Vst_ParamValue plain) noexcept;
  Steinberg_Vst_ParamValue getParamNormalized(Steinberg_Vst_ParamID id) noexcept;
  tresult setParamNormalized(Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue value) noexcept;
  tresult setComponentHandler(Steinberg_Vst_IComponentHandler* handler) noexcept;
  Steinberg_IPlugView* createView(const char* name) noexcept;

  float panelValue(std::int32_t index) override { return static_cast<float>(values_[index]); }
  void editFromPanel(std::int32_t index, float value) override;
  void viewGone() override { view_ = nullptr; }
  std::int32_t chosenZoom() override { return chosenZoom_; }
  void panelZoomChosen(std::int32_t zoom) override;
  Steinberg_FUnknown* hostReference() override {
    return reinterpret_cast<Steinberg_FUnknown*>(&editController_);
  }

  Steinberg_int32 getUnitCount() noexcept { return 1; }
  tresult getUnitInfo(Steinberg_int32 index, Steinberg_Vst_UnitInfo* info) noexcept;
  Steinberg_int32 getProgramListCount() noexcept { return 1; }
  tresult getProgramListInfo(Steinberg_int32 index, Steinberg_Vst_ProgramListInfo* info) noexcept;
  tresult getProgramName(Steinberg_Vst_ProgramListID list, Steinberg_int32 program,
                         Steinberg_char16* name) noexcept;
  tresult getProgramInfo(Steinberg_Vst_ProgramListID /*list*/, Steinberg_int32 /*program*/,
                         const char* /*attribute*/, Steinberg_char16* /*value*/) noexcept {
    return Steinberg_kResultFalse;
  }
  tresult hasProgramPitchNames(Steinberg_Vst_ProgramListID /*list*/,
                               Steinberg_int32 /*program*/) noexcept {
    return Steinberg_kResultFalse;
  }
  tresult getProgramPitchName(Steinberg_Vst_ProgramListID /*list*/, Steinberg_int32 /*program*/,
                              Steinberg_int16 /*pitch*/, Steinberg_char16* /*name*/) noexcept {
    return Steinberg_kResultFalse;
  }
  Steinberg_Vst_UnitID getSelectedUnit() noexcept { return kRootUnit; }
  tresult selectUnit(Steinberg_Vst_UnitID unit) noexcept {
    return unit == kRootUnit ? Steinberg_kResultOk : Steinberg_kResultFalse;
  }
  tresult getUnitByBus(Steinberg_Vst_MediaType /*type*/, Steinberg_Vst_BusDirection /*dir*/,
                       Steinberg_int32 /*bus*/, Steinberg_int32 /*channel*/,
                       Steinberg_Vst_UnitID* unit) noexcept {
    if (unit == nullptr) {
      return Steinberg_kInvalidArgument;
    }
    *unit = kRootUnit;
    return Steinberg_kResultOk;
  }
  tresult setUnitProgramData(Steinberg_int32 /*list*/, Steinberg_int32 /*program*/,
                             Steinberg_IBStream* /*data*/) noexcept {
    return Steinberg_kNotImplemented;
  }

 private:
  void takeState(const DriveVst3State& state);
  // The four values to the open view, if any, after they changed together.
  void showAll() {
    for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
      if (view_ != nullptr) {
        showParameter(view_, i, static_cast<float>(values_[i]));
      }
    }
  }
  bool validProgram(Steinberg_Vst_ProgramListID list, Steinberg_int32 program) const {
    return list == kProgramListId && program >= 0 && program < kDriveProgramCount;
  }

  Slot<EditController, Controller> editController_;
  Slot<UnitInfo, Controller> unitInfo_;
  RefCount refs_;
  Steinberg_Vst_IComponentHandler* handler_ = nullptr;
  // The one open view; it tells the controller when it goes.
  EditorView* view_ = nullptr;
  // The programs as the processor holds them; values[] are the current program's working values,
  // kept in double as the host set them.
  DriveVst3State state_ = initialState();
  Steinberg_Vst_ParamValue values_[kDriveParameterCount] = {};
  // The panel's zoom as the user chose it, for every view of this instance; 0 for none.
  std::int32_t chosenZoom_ = 0;
};

const Steinberg_Vst_IEditControllerVtbl kEditControllerVtbl = {
    thunk<EditController, &Controller::queryInterface>,
    thunk<EditController, &Controller::addRef>,
    thunk<EditController, &Controller::release>,
    thunk<EditController, &Controller::initialize>,
    thunk<EditController, &Controller::terminate>,
    thunk<EditController, &Controller::setComponentState>,
    thunk<EditController, &Controller::setState>,
    thunk<EditController, &Controller::getState>,
    thunk<EditController, &Controller::getParameterCount>,
    thunk<EditController, &Controller::getParameterInfo>,
    thunk<EditController, &Controller::getParamStringByValue>,
    thunk<EditController, &Controller::getParamValueByString>,
    thunk<EditController, &Controller::normalizedParamToPlain>,
    thunk<EditController, &Controller::plainParamToNormalized>,
    thunk<EditController, &Controller::getParamNormalized>,
    thunk<EditController, &Controller::setParamNormalized>,
    thunk<EditController, &Controller::setComponentHandler>,
    thunk<EditController, &Controller::createView>,
};

const Steinberg_Vst_IUnitInfoVtbl kUnitInfoVtbl = {
    thunk<UnitInfo, &Controller::queryInterface>,
    thunk<UnitInfo, &Controller::addRef>,
    thunk<UnitInfo, &Controller::release>,
    thunk<UnitInfo, &Controller::getUnitCount>,
    thunk<UnitInfo, &Controller::getUnitInfo>,
    thunk<UnitInfo, &Controller::getProgramListCount>,
    thunk<UnitInfo, &Controller::getProgramListInfo>,
    thunk<UnitInfo, &Controller::getProgramName>,
    thunk<UnitInfo, &Controller::getProgramInfo>,
    thunk<UnitInfo, &Controller::hasProgramPitchNames>,
    thunk<UnitInfo, &Controller::getProgramPitchName>,
    thunk<UnitInfo, &Controller::getSelectedUnit>,
    thunk<UnitInfo, &Controller::selectUnit>,
    thunk<UnitInfo, &Controller::getUnitByBus>,
    thunk<UnitInfo, &Controller::setUnitProgramData>,
};

// The API's interface structs hold their vtables through non-const pointers; hosts only read them.
Controller::Controller() noexcept
    : editController_{{const_cast<Steinberg_Vst_IEditControllerVtbl*>(&kEditControllerVtbl)}, this},
      unitInfo_{{const_cast<Steinberg_Vst_IUnitInfoVtbl*>(&kUnitInfoVtbl)}, this} {
  for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
    values_[i] = state_.programs[0].values[i];
  }
}

tresult Controller::queryInterface(const char* iid, void** obj) noexcept {
  if (obj == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  void* face = nullptr;
  if (sameId(iid, Steinberg_FUnknown_iid) || sameId(iid, Steinberg_IPluginBase_iid) ||
      sameId(iid, Steinberg_Vst_IEditController_iid)) {
    face = &editController_;
  } else if (sameId(iid, Steinberg_Vst_IUnitInfo_iid)) {
    face = &unitInfo_;
  }
  *obj = face;
  if (face == nullptr) {
    return Steinberg_kNoInterface;
  }
  addRef();
  return Steinberg_kResultOk;
}

Steinberg_uint32 Controller::release() noexcept {
  const Steinberg_uint32 left = refs_.release();
  if (left == 0) {
    delete this;
  }
  return left;
}

tresult Controller::setComponentState(Steinberg_IBStream* stream) noexcept {
  const std::optional<DriveVst3State> state = readState(stream);
  if (!state) {
    return Steinberg_kResultFalse;
  }
  takeState(*state);
  return Steinberg_kResultOk;
}

tresult Controller::setState(Steinberg_IBStream* stream) noexcept {
  const std::optional<DriveVst3State> state = readState(stream);
  if (!state) {
    return Steinberg_kResultFalse;
  }
  takeState(*state);
  // A state without a choice (an older one among them) opens the panel at the host's factor
  // again, also where a view is open now.
  chosenZoom_ = readZoomTrailer(stream);
  if (view_ != nullptr) {
    showChosenZoom(view_, chosenZoom_);
  }
  return Steinberg_kResultOk;
}

void Controller::takeState(const DriveVst3State& state) {
  state_ = state;
  for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
    values_[i] = state_.programs[state_.currentProgram].values[i];
  }
  showAll();
}

// The choice is saved with the host's project, which it now differs from; no parameter changed,
// so the host hears it as a change of the state alone, where it has the means.
void Controller::panelZoomChosen(std::int32_t zoom) {
  chosenZoom_ = zoom;
  if (handler_ == nullptr) {
    return;
  }
  void* second = nullptr;
  if (handler_->lpVtbl->queryInterface(handler_, Steinberg_Vst_IComponentHandler2_iid, &second) ==
          Steinberg_kResultOk &&
      second != nullptr) {
    auto* handler2 = static_cast<Steinberg_Vst_IComponentHandler2*>(second);
    handler2->lpVtbl->setDirty(handler2, 1);
    handler2->lpVtbl->release(handler2);
  }
}

tresult Controller::getParameterInfo(Steinberg_int32 index,
                                     Steinberg_Vst_ParameterInfo* info) noexcept {
  if (info == nullptr || index < 0 || index >= kParameterCount) {
    return Steinberg_kInvalidArgument;
  }
  std::memset(info, 0, sizeof *info);
  const Steinberg_Vst_ParamID id = kParameterIds[index];
  info->id = id;
  info->unitId = kRootUnit;
  if (isDriveId(id)) {
    // The panel's names: the VST 2 names (" Boost", " ---") were never what the controls do.
    copyText(info->title, kDriveParameters[id].panelLabel);
    copyText(info->shortTitle, kDriveParameters[id].panelLabel);
    info->stepCount = Steinberg_Vst_kStepCountContinuous;
    info->defaultNormalizedValue = kDriveParameters[id].defaultValue;
    info->flags = Steinberg_Vst_ParameterInfo_ParameterFlags_kCanAutomate;
  } else if (id == kBypassId) {
    copyText(info->title, "Bypass");
    copyText(info->shortTitle, "Bypass");
    info->stepCount = Steinberg_Vst_kStepCountToggle;
    info->defaultNormalizedValue = 0.0;
    info->flags = Steinberg_Vst_ParameterInfo_ParameterFlags_kCanAutomate |
                  Steinberg_Vst_ParameterInfo_ParameterFlags_kIsBypass;
  } else {
    copyText(info->title, "Program");
    copyText(info->shortTitle, "Program");
    info->stepCount = kDriveProgramCount - 1;
    info->defaultNormalizedValue = 0.0;
    info->flags = Steinberg_Vst_ParameterInfo_ParameterFlags_kIsList |
                  Steinberg_Vst_ParameterInfo_ParameterFlags_kIsProgramChange;
  }
  return Steinberg_kResultOk;
}

tresult Controller::getParamStringByValue(Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue value,
                                          Steinberg_char16* text) noexcept {
  if (text == nullptr || !isKnownId(id)) {
    return Steinberg_kInvalidArgument;
  }
  auto& field = *reinterpret_cast<Steinberg_Vst_String128*>(text);
  if (isDriveId(id)) {
    char shown[kDriveTextSize];
    driveValueText(static_cast<float>(value), shown);
    copyText(field, shown);
  } else if (id == kBypassId) {
    copyText(field, value >= 0.5 ? "On" : "Off");
  } else {
    copyText(field, state_.programs[normalizedToProgram(value)].name);
  }
  return Steinberg_kResultOk;
}

tresult Controller::getParamValueByString(Steinberg_Vst_ParamID id, Steinberg_char16* text,
                                          Steinberg_Vst_ParamValue* value) noexcept {
  if (text == nullptr || value == nullptr || !isKnownId(id)) {
    return Steinberg_kInvalidArgument;
  }
  if (isDriveId(id)) {
    const std::optional<double> read = driveValueFromText(text);
    if (!read) {
      return Steinberg_kResultFalse;
    }
    *value = *read;
    return Steinberg_kResultOk;
  }
  if (id == kBypassId) {
    if (sameText(text, "On") || sameText(text, "Off")) {
      *value = sameText(text, "On") ? 1.0 : 0.0;
      return Steinberg_kResultOk;
    }
    return Steinberg_kResultFalse;
  }
  // Programs may share a name; the first one that has it is meant.
  for (std::int32_t p = 0; p < kDriveProgramCount; ++p) {
    if (sameText(text, state_.programs[p].name)) {
      *value = programToNormalized(p);
      return Steinberg_kResultOk;
    }
  }
  return Steinberg_kResultFalse;
}

Steinberg_Vst_ParamValue Controller::normalizedParamToPlain(
    Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue value) noexcept {
  return id == kProgramId ? normalizedToProgram(value) : value;
}

Steinberg_Vst_ParamValue Controller::plainParamToNormalized(
    Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue plain) noexcept {
  if (id == kProgramId) {
    return programToNormalized(normalizedToProgram(plain / (kDriveProgramCount - 1)));
  }
  return plain;
}

Steinberg_Vst_ParamValue Controller::getParamNormalized(Steinberg_Vst_ParamID id) noexcept {
  if (isDriveId(id)) {
    return values_[id];
  }
  if (id == kBypassId) {
    return state_.bypass ? 1.0 : 0.0;
  }
  if (id == kProgramId) {
    return programToNormalized(state_.currentProgram);
  }
  return 0.0;
}

tresult Controller::setParamNormalized(Steinberg_Vst_ParamID id,
                                       Steinberg_Vst_ParamValue value) noexcept {
  if (isDriveId(id)) {
    values_[id] = value;
    state_.programs[state_.currentProgram].values[id] = static_cast<float>(value);
    if (view_ != nullptr) {
      showParameter(view_, static_cast<std::int32_t>(id), static_cast<float>(value));
    }
  } else if (id == kBypassId) {
    state_.bypass = value >= 0.5;
  } else if (id == kProgramId) {
    const std::int32_t program = normalizedToProgram(value);
    if (program != state_.currentProgram) {
      state_.currentProgram = program;
      for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
        values_[i] = state_.programs[program].values[i];
      }
      showAll();
      // The four controls took the program's values: the host reads them again.
      if (handler_ != nullptr) {
        handler_->lpVtbl->restartComponent(handler_,
                                           Steinberg_Vst_RestartFlags_kParamValuesChanged);
      }
    }
  } else {
    return Steinberg_kInvalidArgument;
  }
  return Steinberg_kResultOk;
}

Steinberg_IPlugView* Controller::createView(const char* name) noexcept {
  // One panel at a time: the panel's control table is shared by the whole binary anyway.
  if (name == nullptr || std::strcmp(name, "editor") != 0 || view_ != nullptr) {
    return nullptr;
  }
  EditorView* view = nullptr;
  Steinberg_IPlugView* face = createEditorView(*this, &view);
  view_ = view;
  return face;
}

// Each panel change is one whole edit for the host: the panel reports values, not gestures.
void Controller::editFromPanel(std::int32_t index, float value) {
  const auto id = static_cast<Steinberg_Vst_ParamID>(index);
  values_[index] = value;
  state_.programs[state_.currentProgram].values[index] = value;
  if (handler_ != nullptr) {
    handler_->lpVtbl->beginEdit(handler_, id);
    handler_->lpVtbl->performEdit(handler_, id, value);
    handler_->lpVtbl->endEdit(handler_, id);
  }
}

tresult Controller::setComponentHandler(Steinberg_Vst_IComponentHandler* handler) noexcept {
  if (handler == handler_) {
    return Steinberg_kResultOk;
  }
  if (handler != nullptr) {
    handler->lpVtbl->addRef(handler);
  }
  if (handler_ != nullptr) {
    handler_->lpVtbl->release(handler_);
  }
  handler_ = handler;
  return Steinberg_kResultOk;
}

tresult Controller::getUnitInfo(Steinberg_int32 index, Steinberg_Vst_UnitInfo* info) noexcept {
  if (info == nullptr || index != 0) {
    return Steinberg_kInvalidArgument;
  }
  std::memset(info, 0, sizeof *info);
  info->id = kRootUnit;
  info->parentUnitId = Steinberg_Vst_kNoParentUnitId;
  copyText(info->name, "Root");
  info->programListId = kProgramListId;
  return Steinberg_kResultOk;
}

tresult Controller::getProgramListInfo(Steinberg_int32 index,
                                       Steinberg_Vst_ProgramListInfo* info) noexcept {
  if (info == nullptr || index != 0) {
    return Steinberg_kInvalidArgument;
  }
  std::memset(info, 0, sizeof *info);
  info->id = kProgramListId;
  copyText(info->name, "Programs");
  info->programCount = kDriveProgramCount;
  return Steinberg_kResultOk;
}

tresult Controller::getProgramName(Steinberg_Vst_ProgramListID list, Steinberg_int32 program,
                                   Steinberg_char16* name) noexcept {
  if (name == nullptr || !validProgram(list, program)) {
    return Steinberg_kInvalidArgument;
  }
  copyText(*reinterpret_cast<Steinberg_Vst_String128*>(name), state_.programs[program].name);
  return Steinberg_kResultOk;
}

}  // namespace

tresult createController(const char* iid, void** obj) noexcept {
  if (obj == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  *obj = nullptr;
  auto* controller = new (std::nothrow) Controller;
  if (controller == nullptr) {
    return Steinberg_kOutOfMemory;
  }
  const tresult result = controller->queryInterface(iid, obj);
  controller->release();
  return result;
}

}  // namespace vst3
