// The host boundary: descriptor defaults, dispatcher routing, flags and requests to the host.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "editor/editor_base.h"
#include "host/vst2/effect_base.h"
#include "tests/support/host_recorder.h"

namespace {

// An effect that logs which virtual operations the dispatcher reached, with their arguments.
class ProbeEffect : public EffectBase {
 public:
  explicit ProbeEffect(HostCallback callback = nullptr) : EffectBase(callback, 3, 5) {}
  ~ProbeEffect() override { log("destroyed"); }

  void process(float**, float**, std::int32_t) override { log("process"); }
  void open() override { log("open"); }
  void close() override { log("close"); }
  void setProgram(std::int32_t program) override {
    log("setProgram " + std::to_string(program));
    EffectBase::setProgram(program);
  }
  void setParameter(std::int32_t index, float value) override {
    log("setParameter " + std::to_string(index) + " " + std::to_string(value));
  }
  void setProgramName(char*) override { log("setProgramName"); }
  void getProgramName(char*) override { log("getProgramName"); }
  void getParameterLabel(std::int32_t index, char*) override {
    log("getParameterLabel " + std::to_string(index));
  }
  void getParameterDisplay(std::int32_t index, char*) override {
    log("getParameterDisplay " + std::to_string(index));
  }
  void getParameterName(std::int32_t index, char*) override {
    log("getParameterName " + std::to_string(index));
  }
  float getVuLevel() override { return vuLevel; }

  void log(const std::string& entry) { calls().push_back(entry); }
  static std::vector<std::string>& calls() {
    static std::vector<std::string> entries;
    return entries;
  }

  float vuLevel = 0.0f;
  using EffectBase::setFlag;
};

class ProbeEditor : public EditorBase {
 public:
  explicit ProbeEditor(EffectBase& owner) : EditorBase(owner) {}
  std::int32_t getRect(EditorRect** rect) override {
    *rect = &rectangle;
    return 7;
  }
  std::int32_t open(void* parent) override {
    openedWith = parent;
    return 9;
  }
  void close() override { ++closes; }
  void update() override { ++updates; }

  EditorRect rectangle{1, 2, 3, 4};
  void* openedWith = nullptr;
  int closes = 0;
  int updates = 0;
};

class EffectBaseTest : public testing::Test {
 protected:
  void SetUp() override { ProbeEffect::calls().clear(); }
};

TEST_F(EffectBaseTest, ConstructorFillsTheDescriptor) {
  ProbeEffect effect;
  const AEffect* d = effect.getDescriptor();
  EXPECT_EQ(d->magic, 0x56737450);
  EXPECT_EQ(d->uniqueID, 0x4E6F4566);
  EXPECT_EQ(d->numPrograms, 3);
  EXPECT_EQ(d->numParams, 5);
  EXPECT_EQ(d->numInputs, 1);
  EXPECT_EQ(d->numOutputs, 2);
  EXPECT_EQ(d->flags, 0);
  EXPECT_EQ(d->ioRatio, 1.0f);
  EXPECT_EQ(d->object, &effect);
  EXPECT_EQ(d->version, 1);
  EXPECT_EQ(d->user, nullptr);
  EXPECT_EQ(d->resvd1, 0);
  EXPECT_EQ(d->resvd2, 0);
  EXPECT_EQ(d->initialDelay, 0);
  for (char byte : d->future) {
    EXPECT_EQ(byte, 0);
  }
  EXPECT_EQ(effect.getSampleRate(), 44100.0f);
  EXPECT_EQ(effect.getBlockSize(), 1024);
  EXPECT_EQ(effect.dispatch(effGetProgram, 0, 0, nullptr, 0.0f), 0);
}

TEST_F(EffectBaseTest, OpcodesThatDoNothingAnswerZero) {
  ProbeEffect effect;
  char buffer[64] = {};
  for (std::int32_t opcode : {12, 16, 17, 18, 20, 21, 23, 100, -1, 0x7fffffff, -0x7fffffff}) {
    EXPECT_EQ(effect.dispatch(opcode, 1, 1, buffer, 1.0f), 0) << opcode;
  }
  EXPECT_TRUE(ProbeEffect::calls().empty());
}

TEST_F(EffectBaseTest, DispatcherRoutesToOperations) {
  ProbeEffect effect;
  char text[32];
  effect.dispatch(effOpen, 0, 0, nullptr, 0.0f);
  effect.dispatch(effClose, 0, 0, nullptr, 0.0f);
  effect.dispatch(effSetProgramName, 0, 0, text, 0.0f);
  effect.dispatch(effGetProgramName, 0, 0, text, 0.0f);
  effect.dispatch(effGetParamLabel, 2, 0, text, 0.0f);
  effect.dispatch(effGetParamDisplay, 3, 0, text, 0.0f);
  effect.dispatch(effGetParamName, 4, 0, text, 0.0f);
  const std::vector<std::string> expected = {"open",
                                             "close",
                                             "setProgramName",
                                             "getProgramName",
                                             "getParameterLabel 2",
                                             "getParameterDisplay 3",
                                             "getParameterName 4"};
  EXPECT_EQ(ProbeEffect::calls(), expected);

  effect.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
  effect.dispatch(effSetBlockSize, 0, 512, nullptr, 0.0f);
  EXPECT_EQ(effect.getSampleRate(), 48000.0f);
  EXPECT_EQ(effect.getBlockSize(), 512);
}

TEST_F(EffectBaseTest, ProgramSelectionIgnoresNumbersOutsideTheRange) {
  ProbeEffect effect;
  for (VstIntPtr program : {3, 4, -1, -100}) {
    effect.dispatch(effSetProgram, 0, program, nullptr, 0.0f);
  }
  EXPECT_TRUE(ProbeEffect::calls().empty());
  effect.dispatch(effSetProgram, 0, 2, nullptr, 0.0f);
  EXPECT_EQ(ProbeEffect::calls(), std::vector<std::string>{"setProgram 2"});
  EXPECT_EQ(effect.dispatch(effGetProgram, 0, 0, nullptr, 0.0f), 2);
}

TEST_F(EffectBaseTest, VuLevelIsScaledAndTruncated) {
  ProbeEffect effect;
  const struct {
    float level;
    VstIntPtr answer;
  } cases[] = {{1.0f, 32767}, {0.5f, 16383}, {-0.5f, -16383}, {0.0f, 0}, {1e30f, 2147483647}};
  for (const auto& c : cases) {
    effect.vuLevel = c.level;
    EXPECT_EQ(effect.dispatch(effGetVu, 0, 0, nullptr, 0.0f), c.answer) << c.level;
  }
}

TEST_F(EffectBaseTest, EditorRequestsWithoutEditorAnswerZero) {
  ProbeEffect effect;
  EditorRect* rect = reinterpret_cast<EditorRect*>(0x1234);
  EXPECT_EQ(effect.dispatch(effEditGetRect, 0, 0, &rect, 0.0f), 0);
  EXPECT_EQ(rect, reinterpret_cast<EditorRect*>(0x1234));
  EXPECT_EQ(effect.dispatch(effEditOpen, 0, 0, &rect, 0.0f), 0);
  EXPECT_EQ(effect.dispatch(effEditClose, 0, 0, nullptr, 0.0f), 0);
  EXPECT_EQ(effect.dispatch(effEditIdle, 0, 0, nullptr, 0.0f), 0);
}

TEST_F(EffectBaseTest, EditorRequestsPassTheEditorsAnswers) {
  ProbeEffect effect;
  auto* editor = new ProbeEditor(effect);
  effect.setEditor(editor);
  EXPECT_EQ(effect.getDescriptor()->flags, effFlagsHasEditor);

  EditorRect* rect = nullptr;
  EXPECT_EQ(effect.dispatch(effEditGetRect, 0, 0, &rect, 0.0f), 7);
  EXPECT_EQ(rect, &editor->rectangle);
  int parent = 0;
  EXPECT_EQ(effect.dispatch(effEditOpen, 0, 0, &parent, 0.0f), 9);
  EXPECT_EQ(editor->openedWith, &parent);
  EXPECT_EQ(effect.dispatch(effEditClose, 0, 0, nullptr, 0.0f), 0);
  EXPECT_EQ(editor->closes, 1);

  // Posted updates are merged: any number of posts before an idle give one update.
  effect.dispatch(effEditIdle, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(editor->updates, 0);
  editor->postUpdate();
  editor->postUpdate();
  effect.dispatch(effEditIdle, 0, 0, nullptr, 0.0f);
  effect.dispatch(effEditIdle, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(editor->updates, 1);
}

TEST_F(EffectBaseTest, EditorBaseReportsNoRectangle) {
  ProbeEffect effect;
  EditorBase editor(effect);
  EditorRect* rect = reinterpret_cast<EditorRect*>(0x1234);
  EXPECT_EQ(editor.getRect(&rect), 0);
  EXPECT_EQ(rect, nullptr);
  EXPECT_EQ(editor.open(nullptr), 0);
}

TEST_F(EffectBaseTest, FlagSettersChangeOnlyTheirBit) {
  ProbeEffect effect;
  effect.setHasVu(1);
  effect.setCanMono(1);
  effect.setCanReplacing(1);
  effect.setHasClip(0);
  EXPECT_EQ(effect.getDescriptor()->flags, 28);
  ProbeEditor editor(effect);
  effect.setEditor(&editor);
  EXPECT_EQ(effect.getDescriptor()->flags, 29);
  effect.setEditor(nullptr);
  EXPECT_EQ(effect.getDescriptor()->flags, 28);
  // Only the low 16 bits of a truth value count.
  effect.setHasClip(static_cast<TruthValue>(0x10000));
  EXPECT_EQ(effect.getDescriptor()->flags, 28);
  effect.setHasClip(2);
  EXPECT_EQ(effect.getDescriptor()->flags, 30);
  effect.setHasVu(0);
  EXPECT_EQ(effect.getDescriptor()->flags, 26);
}

TEST_F(EffectBaseTest, DescriptorSettersWriteTheirFields) {
  ProbeEffect effect;
  effect.setUniqueId(fourCharCode("Wnk1"));
  effect.setNumInputs(2);
  effect.setNumOutputs(6);
  effect.setRealQualities(3);
  effect.setOffQualities(4);
  effect.setInitialDelay(64);
  const AEffect* d = effect.getDescriptor();
  EXPECT_EQ(d->uniqueID, 0x576E6B31);
  EXPECT_EQ(d->numInputs, 2);
  EXPECT_EQ(d->numOutputs, 6);
  EXPECT_EQ(d->realQualities, 3);
  EXPECT_EQ(d->offQualities, 4);
  EXPECT_EQ(d->initialDelay, 64);
}

TEST_F(EffectBaseTest, RequestsWithoutCallbackFallBack) {
  ProbeEffect effect;
  EXPECT_EQ(effect.getHostVersion(), 1);
  EXPECT_EQ(effect.getHostCurrentId(), 0);
  EXPECT_EQ(effect.hostIdle(), 0);
  EXPECT_EQ(effect.isInputConnected(0), 1);
  EXPECT_EQ(effect.isOutputConnected(1), 1);
  effect.automateParameter(2, 0.25f);
  EXPECT_EQ(ProbeEffect::calls(), std::vector<std::string>{"setParameter 2 0.250000"});
}

TEST_F(EffectBaseTest, RequestsReachTheHost) {
  HostRecorder host;
  ProbeEffect effect(HostRecorder::callback);
  AEffect* d = effect.getDescriptor();

  host.versionAnswer = 0;
  EXPECT_EQ(effect.getHostVersion(), 1);
  host.versionAnswer = 2400;
  EXPECT_EQ(effect.getHostVersion(), 2400);

  host.answer = 77;
  EXPECT_EQ(effect.getHostCurrentId(), 77);
  EXPECT_EQ(effect.hostIdle(), 77);
  EXPECT_EQ(effect.isInputConnected(3), 0);
  host.answer = 0;
  EXPECT_EQ(effect.isOutputConnected(5), 1);

  ASSERT_EQ(host.requests.size(), 6u);
  const std::int32_t opcodes[] = {1, 1, 2, 3, 4, 4};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(host.requests[i].effect, d);
    EXPECT_EQ(host.requests[i].opcode, opcodes[i]);
    EXPECT_EQ(host.requests[i].ptr, nullptr);
  }
  EXPECT_EQ(host.requests[4].index, 3);
  EXPECT_EQ(host.requests[4].value, 0);
  EXPECT_EQ(host.requests[5].index, 5);
  EXPECT_EQ(host.requests[5].value, 1);
}

TEST_F(EffectBaseTest, AutomationSetsTheParameterThenReportsIt) {
  HostRecorder host;
  ProbeEffect effect(HostRecorder::callback);
  host.onRequest = [](std::int32_t opcode) {
    ProbeEffect::calls().push_back("host " + std::to_string(opcode));
  };
  effect.automateParameter(2, 0.25f);
  const std::vector<std::string> expected = {"setParameter 2 0.250000", "host 0"};
  EXPECT_EQ(ProbeEffect::calls(), expected);
  ASSERT_EQ(host.requests.size(), 1u);
  EXPECT_EQ(host.requests[0].index, 2);
  EXPECT_EQ(host.requests[0].value, 0);
  EXPECT_EQ(host.requests[0].ptr, nullptr);
  EXPECT_EQ(host.requests[0].opt, 0.25f);
}

TEST_F(EffectBaseTest, CloseThroughTheEntryRunsCloseThenDestroys) {
  auto* effect = new ProbeEffect;
  AEffect* d = effect->getDescriptor();
  EXPECT_EQ(d->dispatcher(d, effClose, 0, 0, nullptr, 0.0f), 1);
  const std::vector<std::string> expected = {"close", "destroyed"};
  EXPECT_EQ(ProbeEffect::calls(), expected);
}

TEST_F(EffectBaseTest, NullTextPointersAreNotWrittenThrough) {
  ProbeEffect effect;
  for (std::int32_t opcode : {effSetProgramName, effGetProgramName, effGetParamLabel,
                              effGetParamDisplay, effGetParamName, effEditGetRect}) {
    EXPECT_EQ(effect.dispatch(opcode, 0, 0, nullptr, 0.0f), 0);
  }
  EXPECT_TRUE(ProbeEffect::calls().empty());
}

}  // namespace
