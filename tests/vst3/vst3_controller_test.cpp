// The built VST 3 controller and the component's state: parameters and their texts, programs,
// and saved states written, read back, and refused whole when cut short or corrupted.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host/vst3/vst3_ids.h"
#include "host/vst3/vst3_state.h"
#include "tests/vst3/vst3_test_host.h"

using vst3test::create;
using vst3test::MemoryStream;
using vst3test::narrow;
using vst3test::ParameterChanges;
using vst3test::Ref;
using vst3test::wide;

namespace {

using Bytes = std::vector<unsigned char>;

struct Controller {
  Controller()
      : edit(create<Steinberg_Vst_IEditController>(vst3::kControllerClassId,
                                                   Steinberg_Vst_IEditController_iid)),
        units(edit.query<Steinberg_Vst_IUnitInfo>(Steinberg_Vst_IUnitInfo_iid)) {
    if (edit) {
      edit.vtbl()->initialize(edit.get(), nullptr);
    }
  }
  ~Controller() {
    if (edit) {
      edit.vtbl()->terminate(edit.get());
    }
  }
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  std::string text(Steinberg_Vst_ParamID id, double value) {
    Steinberg_Vst_String128 shown;
    std::memset(shown, 0xFF, sizeof shown);
    if (edit.vtbl()->getParamStringByValue(edit.get(), id, value, shown) != Steinberg_kResultOk) {
      return "(refused)";
    }
    return narrow(shown);
  }
  double normalized(Steinberg_Vst_ParamID id) {
    return edit.vtbl()->getParamNormalized(edit.get(), id);
  }
  void set(Steinberg_Vst_ParamID id, double value) {
    edit.vtbl()->setParamNormalized(edit.get(), id, value);
  }

  Ref<Steinberg_Vst_IEditController> edit;
  Ref<Steinberg_Vst_IUnitInfo> units;
};

struct Component {
  Component()
      : component(create<Steinberg_Vst_IComponent>(vst3::kProcessorClassId,
                                                   Steinberg_Vst_IComponent_iid)),
        audio(component.query<Steinberg_Vst_IAudioProcessor>(Steinberg_Vst_IAudioProcessor_iid)) {
    if (component) {
      component.vtbl()->initialize(component.get(), nullptr);
    }
  }
  ~Component() {
    if (component) {
      component.vtbl()->terminate(component.get());
    }
  }
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  Bytes state() {
    MemoryStream stream;
    EXPECT_EQ(component.vtbl()->getState(component.get(), stream.stream()), Steinberg_kResultOk);
    return stream.data;
  }
  Steinberg_tresult setState(const Bytes& bytes, std::size_t chunk = SIZE_MAX) {
    MemoryStream stream(bytes);
    stream.chunk = chunk;
    return component.vtbl()->setState(component.get(), stream.stream());
  }
  // Parameter changes as the host sends them, in an empty block.
  void change(const std::vector<std::pair<Steinberg_Vst_ParamID, double>>& values) {
    ParameterChanges changes;
    for (const auto& [id, value] : values) {
      changes.add(id, 0, value);
    }
    Steinberg_Vst_ProcessData data{};
    data.inputParameterChanges = changes.changes();
    audio.vtbl()->process(audio.get(), &data);
  }

  Ref<Steinberg_Vst_IComponent> component;
  Ref<Steinberg_Vst_IAudioProcessor> audio;
};

struct ParameterCase {
  const char* title;
  double defaultValue;
  Steinberg_Vst_ParamID id;
  Steinberg_int32 stepCount;
  Steinberg_int32 flags;
};

constexpr Steinberg_int32 kAutomate = Steinberg_Vst_ParameterInfo_ParameterFlags_kCanAutomate;
const ParameterCase kParameters[] = {
    {"LOW", 0.5, 0, 0, kAutomate},
    {"MID", 0.5, 1, 0, kAutomate},
    {"HIGH", 0.5, 2, 0, kAutomate},
    {"LEVEL", static_cast<double>(0.2f), 3, 0, kAutomate},
    {"Bypass", 0.0, 100, 1, kAutomate | Steinberg_Vst_ParameterInfo_ParameterFlags_kIsBypass},
    {"Program", 0.0, 101, 1,
     Steinberg_Vst_ParameterInfo_ParameterFlags_kIsList |
         Steinberg_Vst_ParameterInfo_ParameterFlags_kIsProgramChange},
};

TEST(Vst3Controller, DescribesTheFourControlsBypassAndProgram) {
  Controller c;
  ASSERT_TRUE(c.edit);
  ASSERT_EQ(c.edit.vtbl()->getParameterCount(c.edit.get()), 6);
  for (int index = 0; index < 6; ++index) {
    const ParameterCase& expected = kParameters[index];
    SCOPED_TRACE(expected.title);
    Steinberg_Vst_ParameterInfo info;
    std::memset(&info, 0xFF, sizeof info);
    ASSERT_EQ(c.edit.vtbl()->getParameterInfo(c.edit.get(), index, &info), Steinberg_kResultOk);
    EXPECT_EQ(info.id, expected.id);
    EXPECT_EQ(narrow(info.title), expected.title);
    EXPECT_EQ(info.stepCount, expected.stepCount);
    EXPECT_EQ(info.defaultNormalizedValue, expected.defaultValue);
    EXPECT_EQ(info.flags, expected.flags);
    EXPECT_EQ(info.unitId, 0);
    EXPECT_EQ(c.normalized(expected.id), expected.defaultValue);
  }
  Steinberg_Vst_ParameterInfo info;
  EXPECT_EQ(c.edit.vtbl()->getParameterInfo(c.edit.get(), 6, &info), Steinberg_kInvalidArgument);
}

struct TextCase {
  Steinberg_Vst_ParamID id;
  double value;
  const char* text;
};

// As the panel's two-place displays show them: the value times ten, one decimal, truncated.
const TextCase kTexts[] = {
    {0, 0.5, "5.0"},  {1, 0.35, "3.5"},   {2, 0.999, "9.9"},  {3, 0.2, "2.0"},
    {0, 1.0, "10.0"}, {0, 0.0, "0.0"},    {3, 0.07, "0.7"},   {100, 0.0, "Off"},
    {100, 1.0, "On"}, {101, 0.0, "Init"}, {101, 1.0, "Init"},
};

TEST(Vst3Controller, ValueTextsReadAsThePanelShowsThem) {
  Controller c;
  ASSERT_TRUE(c.edit);
  for (const TextCase& t : kTexts) {
    SCOPED_TRACE(std::to_string(t.id) + " " + t.text);
    EXPECT_EQ(c.text(t.id, t.value), t.text);
  }
  EXPECT_EQ(c.text(7, 0.5), "(refused)");
}

TEST(Vst3Controller, EveryDisplayedTextReadsBackToTheSameText) {
  Controller c;
  ASSERT_TRUE(c.edit);
  for (int tenths = 0; tenths <= 100; ++tenths) {
    const double value = tenths / 100.0;
    const std::string shown = c.text(0, value);
    std::u16string typed = wide(shown);
    Steinberg_Vst_ParamValue read = -1.0;
    ASSERT_EQ(c.edit.vtbl()->getParamValueByString(c.edit.get(), 0, typed.data(), &read),
              Steinberg_kResultOk)
        << shown;
    EXPECT_EQ(c.text(0, read), shown);
  }
}

struct ParseCase {
  const char* text;
  double value;
  Steinberg_Vst_ParamID id;
  bool accepted;
};

const ParseCase kParses[] = {
    {"5.0", 0.5, 0, true},    {" 7.5 ", 0.75, 1, true}, {"10", 1.0, 2, true},
    {"12.5", 1.0, 3, true},   {"-3", 0.0, 0, true},     {"2.", 0.2, 0, true},
    {"", 0, 0, false},        {"abc", 0, 0, false},     {"5.0x", 0, 0, false},
    {"On", 1.0, 100, true},   {"Off", 0.0, 100, true},  {"maybe", 0, 100, false},
    {"Init", 0.0, 101, true}, {"Other", 0, 101, false},
};

TEST(Vst3Controller, ReadsValuesFromTexts) {
  Controller c;
  ASSERT_TRUE(c.edit);
  for (const ParseCase& p : kParses) {
    SCOPED_TRACE(std::to_string(p.id) + " '" + p.text + "'");
    std::u16string typed = wide(p.text);
    Steinberg_Vst_ParamValue read = -1.0;
    const Steinberg_tresult result =
        c.edit.vtbl()->getParamValueByString(c.edit.get(), p.id, typed.data(), &read);
    EXPECT_EQ(result == Steinberg_kResultOk, p.accepted);
    if (p.accepted) {
      EXPECT_DOUBLE_EQ(read, p.value);
    }
  }
}

TEST(Vst3Controller, ProgramsKeepTheirOwnValuesAsTheVst2PluginsDo) {
  Controller c;
  ASSERT_TRUE(c.edit);
  vst3test::ComponentHandler handler;
  c.edit.vtbl()->setComponentHandler(c.edit.get(), handler.handler());
  EXPECT_EQ(handler.references(), 2);
  c.set(0, 0.9);
  c.set(vst3::kProgramId, 1.0);
  EXPECT_EQ(c.normalized(vst3::kProgramId), 1.0);
  EXPECT_EQ(c.normalized(0), 0.5);  // the second program's own value
  c.set(1, 0.1);
  c.set(vst3::kProgramId, 0.0);
  EXPECT_EQ(c.normalized(0), static_cast<double>(0.9f));
  EXPECT_EQ(c.normalized(1), 0.5);
  const std::string restart =
      "restart " + std::to_string(Steinberg_Vst_RestartFlags_kParamValuesChanged);
  EXPECT_EQ(handler.calls, (std::vector<std::string>{restart, restart}));
  c.edit.vtbl()->terminate(c.edit.get());
  EXPECT_EQ(handler.references(), 1);
}

TEST(Vst3Controller, ListsTheTwoProgramsInTheRootUnit) {
  Controller c;
  ASSERT_TRUE(c.edit && c.units);
  ASSERT_EQ(c.units.vtbl()->getUnitCount(c.units.get()), 1);
  Steinberg_Vst_UnitInfo unit;
  ASSERT_EQ(c.units.vtbl()->getUnitInfo(c.units.get(), 0, &unit), Steinberg_kResultOk);
  EXPECT_EQ(unit.id, Steinberg_Vst_kRootUnitId);
  EXPECT_EQ(unit.parentUnitId, Steinberg_Vst_kNoParentUnitId);
  ASSERT_EQ(c.units.vtbl()->getProgramListCount(c.units.get()), 1);
  Steinberg_Vst_ProgramListInfo list;
  ASSERT_EQ(c.units.vtbl()->getProgramListInfo(c.units.get(), 0, &list), Steinberg_kResultOk);
  EXPECT_EQ(list.id, unit.programListId);
  EXPECT_EQ(list.programCount, 2);
  for (int p = 0; p < 2; ++p) {
    Steinberg_Vst_String128 name;
    ASSERT_EQ(c.units.vtbl()->getProgramName(c.units.get(), list.id, p, name), Steinberg_kResultOk);
    EXPECT_EQ(narrow(name), "Init");
  }
  Steinberg_Vst_String128 name;
  EXPECT_NE(c.units.vtbl()->getProgramName(c.units.get(), list.id, 2, name), Steinberg_kResultOk);
}

TEST(Vst3State, RoundTripsThroughAnotherInstanceAndTheController) {
  Component source;
  ASSERT_TRUE(source.component && source.audio);
  source.change({{0, 0.125}, {100, 1.0}});
  source.change({{101, 1.0}, {3, 0.75}});
  const Bytes saved = source.state();
  ASSERT_EQ(saved.size(), vst3::kStateSize);

  Component target;
  // A stream that hands out one byte per read is read to the end all the same.
  ASSERT_EQ(target.setState(saved, 1), Steinberg_kResultOk);
  EXPECT_EQ(target.state(), saved);

  Controller c;
  ASSERT_TRUE(c.edit);
  MemoryStream stream(saved);
  ASSERT_EQ(c.edit.vtbl()->setComponentState(c.edit.get(), stream.stream()), Steinberg_kResultOk);
  EXPECT_EQ(c.normalized(vst3::kProgramId), 1.0);
  EXPECT_EQ(c.normalized(3), 0.75);
  EXPECT_EQ(c.normalized(0), 0.5);
  EXPECT_EQ(c.normalized(vst3::kBypassId), 1.0);
  c.set(vst3::kProgramId, 0.0);
  EXPECT_EQ(c.normalized(0), 0.125);
}

// A host may hand each side its own saved state back and never tell the controller the
// component's: the controller's state alone must bring back what the panel shows.
TEST(Vst3State, TheControllersOwnStateBringsItsValuesBack) {
  Controller source;
  ASSERT_TRUE(source.edit);
  source.set(3, 0.75);
  source.set(vst3::kBypassId, 1.0);
  source.set(vst3::kProgramId, 1.0);
  source.set(1, 0.0625);
  MemoryStream saved;
  ASSERT_EQ(source.edit.vtbl()->getState(source.edit.get(), saved.stream()), Steinberg_kResultOk);
  // The component's state, then the panel's zoom.
  ASSERT_EQ(saved.data.size(), vst3::kStateSize + vst3::kZoomTrailerSize);

  Controller target;
  ASSERT_TRUE(target.edit);
  MemoryStream stream(saved.data);
  ASSERT_EQ(target.edit.vtbl()->setState(target.edit.get(), stream.stream()), Steinberg_kResultOk);
  EXPECT_EQ(target.normalized(vst3::kProgramId), 1.0);
  EXPECT_EQ(target.normalized(1), 0.0625);
  EXPECT_EQ(target.normalized(vst3::kBypassId), 1.0);
  target.set(vst3::kProgramId, 0.0);
  EXPECT_EQ(target.normalized(3), 0.75);

  // Garbage is refused and changes nothing.
  Bytes garbage = saved.data;
  garbage[0] = 'X';
  MemoryStream bad(garbage);
  EXPECT_EQ(target.edit.vtbl()->setState(target.edit.get(), bad.stream()), Steinberg_kResultFalse);
  EXPECT_EQ(target.normalized(3), 0.75);
}

TEST(Vst3State, IsLittleEndianWithItsMagicAndVersionFirst) {
  Component c;
  ASSERT_TRUE(c.component);
  const Bytes saved = c.state();
  ASSERT_GE(saved.size(), 8u);
  EXPECT_EQ(std::string(saved.begin(), saved.begin() + 4), "DrV3");
  EXPECT_EQ(Bytes(saved.begin() + 4, saved.begin() + 8), (Bytes{1, 0, 0, 0}));
  // The level's default 0.2f, 0x3E4CCCCD, low byte first, in the first program.
  const std::size_t level = 16 + 24 + 3 * 4;
  EXPECT_EQ(Bytes(saved.begin() + level, saved.begin() + level + 4),
            (Bytes{0xCD, 0xCC, 0x4C, 0x3E}));
}

TEST(Vst3State, ACutShortStreamIsRefusedAndNothingIsLost) {
  Component c;
  ASSERT_TRUE(c.component && c.audio);
  c.change({{2, 0.875}});
  const Bytes before = c.state();
  Controller controller;
  ASSERT_TRUE(controller.edit);
  MemoryStream good(before);
  controller.edit.vtbl()->setComponentState(controller.edit.get(), good.stream());

  Component other;
  other.change({{1, 0.0625}});
  const Bytes full = other.state();
  for (std::size_t length = 0; length < full.size(); ++length) {
    SCOPED_TRACE(length);
    const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_EQ(c.setState(cut), Steinberg_kResultFalse);
    MemoryStream stream(cut);
    EXPECT_EQ(controller.edit.vtbl()->setComponentState(controller.edit.get(), stream.stream()),
              Steinberg_kResultFalse);
  }
  EXPECT_EQ(c.state(), before);
  EXPECT_EQ(controller.normalized(2), 0.875);
  EXPECT_EQ(controller.normalized(1), 0.5);
}

struct Corruption {
  const char* name;
  std::size_t at;
  std::vector<unsigned char> bytes;
};

const Corruption kCorruptions[] = {
    {"magic", 0, {'D', 'r', 'V', '2'}},
    {"newer version", 4, {2, 0, 0, 0}},
    {"program out of range", 8, {2, 0, 0, 0}},
    {"negative program", 8, {0xFF, 0xFF, 0xFF, 0xFF}},
    {"bypass neither 0 nor 1", 12, {7, 0, 0, 0}},
    {"unterminated name", 16, std::vector<unsigned char>(24, 'A')},
    {"value not a number", 40, {0x00, 0x00, 0xC0, 0x7F}},
    {"value above 1", 44, {0x00, 0x00, 0xC0, 0x3F}},
    {"value below 0", 84, {0x00, 0x00, 0x80, 0xBF}},
};

TEST(Vst3State, GarbageIsRefusedAndNothingIsLost) {
  Component c;
  ASSERT_TRUE(c.component && c.audio);
  c.change({{0, 0.3125}, {100, 1.0}});
  const Bytes before = c.state();
  for (const Corruption& bad : kCorruptions) {
    SCOPED_TRACE(bad.name);
    Bytes garbage = before;
    std::copy(bad.bytes.begin(), bad.bytes.end(),
              garbage.begin() + static_cast<std::ptrdiff_t>(bad.at));
    EXPECT_EQ(c.setState(garbage), Steinberg_kResultFalse);
    EXPECT_EQ(c.state(), before);
  }
  EXPECT_EQ(c.component.vtbl()->setState(c.component.get(), nullptr), Steinberg_kResultFalse);
  MemoryStream refusing;
  refusing.failWrites = true;
  EXPECT_EQ(c.component.vtbl()->getState(c.component.get(), refusing.stream()),
            Steinberg_kResultFalse);
}

// What the codec accepts and what it refuses, without a plug-in in between.
TEST(Vst3State, DecodesOnlyWhatItEncodes) {
  vst3::DriveVst3State state;
  state.currentProgram = 1;
  state.bypass = true;
  for (int p = 0; p < 2; ++p) {
    vst3::copyText(state.programs[p].name, p == 0 ? "Init" : "Crunch");
    for (int i = 0; i < 4; ++i) {
      state.programs[p].values[i] = static_cast<float>(p * 4 + i) / 8.0f;
    }
  }
  const vst3::StateBytes bytes = vst3::encodeState(state);
  const std::optional<vst3::DriveVst3State> back = vst3::decodeState(bytes.data(), bytes.size());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->currentProgram, 1);
  EXPECT_TRUE(back->bypass);
  EXPECT_STREQ(back->programs[1].name, "Crunch");
  EXPECT_EQ(back->programs[1].values[3], 7.0f / 8.0f);
  EXPECT_FALSE(vst3::decodeState(bytes.data(), bytes.size() - 1));
  EXPECT_FALSE(vst3::decodeState(nullptr, bytes.size()));
}

}  // namespace
