#include "tools/plughost/host_callback.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using plughost::HostCallbackRecorder;

TEST(HostCallbackRecorder, AnswersAsAVst24Host) {
  HostCallbackRecorder host;
  host.setSampleRate(48000.0f);
  host.setBlockSize(256);
  struct Case {
    std::int32_t opcode;
    std::int32_t index;
    VstIntPtr answer;
  };
  const Case cases[] = {
      {audioMasterVersion, 0, 2400},
      {audioMasterAutomate, 1, 0},
      {audioMasterCurrentId, 0, 0},
      {audioMasterIdle, 0, 0},
      {audioMasterPinConnected, 0, 0},  // 0: connected
      {audioMasterPinConnected, 1, 0},
      {audioMasterPinConnected, 2, 1},
      {plughost::audioMasterGetSampleRate, 0, 48000},
      {plughost::audioMasterGetBlockSize, 0, 256},
      {plughost::audioMasterGetTime, 0, 0},
      {plughost::audioMasterCanDo, 0, 0},
      {plughost::audioMasterGetLanguage, 0, 1},
      {999, 0, 0},
      {-5, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(host.handle(c.opcode, c.index, 0, nullptr, 0.0f), c.answer) << c.opcode;
  }
  char vendor[64] = {};
  EXPECT_EQ(host.handle(plughost::audioMasterGetVendorString, 0, 0, vendor, 0.0f), 1);
  EXPECT_GT(std::strlen(vendor), 0u);
  EXPECT_EQ(host.requestCount(), std::size(cases) + 1);
  EXPECT_EQ(host.countOf(audioMasterPinConnected), 3u);
  EXPECT_EQ(host.countOf(999) + 0, 2u) << "opcodes past 63 and negative ones are counted together";
}

TEST(HostCallbackRecorder, RecordsEveryAutomationReportInOrder) {
  HostCallbackRecorder host;
  host.handle(audioMasterAutomate, 2, 0, nullptr, 0.25f);
  host.handle(audioMasterIdle, 0, 0, nullptr, 0.0f);
  host.handle(audioMasterAutomate, 0, 0, nullptr, 1.0f);
  host.handle(audioMasterAutomate, 2, 0, nullptr, 0.5f);
  auto automation = host.automation();
  ASSERT_EQ(automation.size(), 3u);
  EXPECT_EQ(automation[0].index, 2);
  EXPECT_EQ(automation[0].value, 0.25f);
  EXPECT_EQ(automation[1].index, 0);
  EXPECT_EQ(automation[1].value, 1.0f);
  EXPECT_EQ(automation[2].value, 0.5f);
  auto requests = host.requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[1].opcode, audioMasterIdle);
  EXPECT_EQ(requests[3].index, 2);
  EXPECT_EQ(requests[3].opt, 0.5f);
}

TEST(HostCallbackRecorder, RoutesCallsByDescriptorAndDuringTheEntryPoint) {
  HostCallbackRecorder first;
  HostCallbackRecorder second;
  AEffect a{};
  AEffect b{};
  first.attach(&a);
  second.attach(&b);
  HostCallbackRecorder::callback(&a, audioMasterAutomate, 1, 0, nullptr, 0.1f);
  HostCallbackRecorder::callback(&b, audioMasterAutomate, 2, 0, nullptr, 0.2f);
  HostCallbackRecorder::callback(&b, audioMasterAutomate, 3, 0, nullptr, 0.3f);
  EXPECT_EQ(first.automation().size(), 1u);
  EXPECT_EQ(second.automation().size(), 2u);

  // While an entry point runs there is no descriptor yet; the scope's recorder takes the calls.
  AEffect unknown{};
  {
    HostCallbackRecorder::EntryScope scope(first);
    EXPECT_EQ(HostCallbackRecorder::callback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f),
              2400);
    HostCallbackRecorder::callback(&unknown, audioMasterIdle, 0, 0, nullptr, 0.0f);
  }
  EXPECT_EQ(first.countOf(audioMasterVersion), 1u);
  EXPECT_EQ(first.countOf(audioMasterIdle), 1u);

  // Outside any scope, an unknown caller still learns the version and nothing is recorded.
  second.detach(&b);
  EXPECT_EQ(HostCallbackRecorder::callback(&b, audioMasterVersion, 0, 0, nullptr, 0.0f), 2400);
  EXPECT_EQ(HostCallbackRecorder::callback(&b, audioMasterAutomate, 0, 0, nullptr, 1.0f), 0);
  EXPECT_EQ(second.requestCount(), 2u);
}

TEST(HostCallbackRecorder, StopsKeepingButKeepsCountingPastTheLimit) {
  HostCallbackRecorder host;
  const std::size_t total = HostCallbackRecorder::kMaxRecorded + 10;
  for (std::size_t i = 0; i < total; ++i) {
    host.handle(audioMasterAutomate, 0, 0, nullptr, 0.5f);
  }
  EXPECT_EQ(host.requestCount(), total);
  EXPECT_EQ(host.countOf(audioMasterAutomate), total);
  EXPECT_EQ(host.requests().size(), HostCallbackRecorder::kMaxRecorded);
  EXPECT_EQ(host.automation().size(), HostCallbackRecorder::kMaxRecorded);
}

}  // namespace

namespace {

TEST(HostCallbackRecorder, PolicyChoosesTheAnswers) {
  using plughost::HostAnswers;
  using plughost::HostPolicy;
  struct Case {
    HostAnswers answers;
    std::int32_t opcode;
    std::int32_t index;
    VstIntPtr answer;
  };
  const Case cases[] = {
      {HostAnswers::plain, audioMasterVersion, 0, 2400},
      {HostAnswers::silent, audioMasterVersion, 0, 0},
      {HostAnswers::silent, plughost::audioMasterGetLanguage, 0, 0},
      {HostAnswers::versionZero, audioMasterVersion, 0, 0},
      {HostAnswers::versionZero, plughost::audioMasterGetLanguage, 0, 1},
      {HostAnswers::versionZero, plughost::audioMasterGetBlockSize, 0, 512},
  };
  for (const Case& c : cases) {
    HostPolicy policy;
    policy.answers = c.answers;
    HostCallbackRecorder host(policy);
    EXPECT_EQ(host.handle(c.opcode, c.index, 0, nullptr, 0.0f), c.answer)
        << static_cast<int>(c.answers) << " " << c.opcode;
  }
}

TEST(HostCallbackRecorder, CountsOnlyKeepsNoListsAndNamesItsProduct) {
  plughost::HostPolicy policy;
  policy.keepRequests = false;
  policy.product = "a validator";
  policy.connectedPins = 8;
  HostCallbackRecorder host(policy);
  host.handle(audioMasterAutomate, 2, 0, nullptr, 0.25f);
  EXPECT_EQ(host.handle(audioMasterPinConnected, 7, 0, nullptr, 0.0f), 0);
  EXPECT_EQ(host.handle(audioMasterPinConnected, 8, 0, nullptr, 0.0f), 1);
  char product[64] = {};
  host.handle(plughost::audioMasterGetProductString, 0, 0, product, 0.0f);
  EXPECT_STREQ(product, "a validator");
  EXPECT_TRUE(host.requests().empty());
  EXPECT_TRUE(host.automation().empty());
  EXPECT_EQ(host.countOf(audioMasterAutomate), 1u);
  EXPECT_EQ(host.requestCount(), 4u);
}

TEST(HostCallbackRecorder, RoutesEveryDescriptorWhenThereAreMoreThanSlots) {
  HostCallbackRecorder first;
  HostCallbackRecorder second;
  std::vector<AEffect> effects(3000);
  for (std::size_t i = 0; i < effects.size(); ++i) {
    (i % 2 == 0 ? first : second).attach(&effects[i]);
  }
  first.detach(&effects[10]);
  for (std::size_t i :
       {std::size_t{0}, std::size_t{1}, std::size_t{10}, std::size_t{2998}, std::size_t{2999}}) {
    HostCallbackRecorder::callback(&effects[i], audioMasterAutomate, static_cast<int>(i), 0,
                                   nullptr, 0.5f);
  }
  // 10 was detached: its call reaches no recorder.
  EXPECT_EQ(first.countOf(audioMasterAutomate), 2u);
  EXPECT_EQ(second.countOf(audioMasterAutomate), 2u);
  for (std::size_t i = 0; i < effects.size(); ++i) {
    (i % 2 == 0 ? first : second).detach(&effects[i]);
  }
}

}  // namespace

namespace {

// A host window that records what it was asked and follows or refuses.
class WindowStub final : public plughost::EditorWindowSizer {
 public:
  explicit WindowStub(bool follows) : follows_(follows) {}
  bool followsEditorSize() const override { return follows_; }
  bool resizeForEditor(int width, int height) override {
    asked.push_back({width, height});
    return follows_;
  }
  struct Size {
    int width;
    int height;
  };
  std::vector<Size> asked;

 private:
  bool follows_;
};

TEST(HostCallbackRecorder, SizeWindowGoesToTheEditorWindowAndSaysWhetherItFollowed) {
  constexpr std::int32_t kSizeWindow = plughost::audioMasterSizeWindow;
  struct Case {
    const char* what;
    VstIntPtr height;
    VstIntPtr answer;
    plughost::HostAnswers answers;
    std::int32_t width;
    bool hasWindow;
    bool follows;
    bool reachesWindow;
  };
  const Case cases[] = {
      {"a window that follows", 800, 1, plughost::HostAnswers::plain, 540, true, true, true},
      {"a window that refuses", 800, 0, plughost::HostAnswers::plain, 540, true, false, true},
      {"no window", 800, 0, plughost::HostAnswers::plain, 540, false, false, false},
      {"a silent host", 800, 0, plughost::HostAnswers::silent, 540, true, true, false},
      {"no width", 800, 0, plughost::HostAnswers::plain, 0, true, true, false},
      {"a negative height", -800, 0, plughost::HostAnswers::plain, 540, true, true, false},
  };
  for (const Case& c : cases) {
    plughost::HostPolicy policy;
    policy.answers = c.answers;
    HostCallbackRecorder host(policy);
    WindowStub window(c.follows);
    if (c.hasWindow) {
      host.setEditorWindowSizer(&window);
    }
    EXPECT_EQ(host.handle(kSizeWindow, c.width, c.height, nullptr, 0.0f), c.answer) << c.what;
    ASSERT_EQ(window.asked.size(), c.reachesWindow ? 1u : 0u) << c.what;
    if (c.reachesWindow) {
      EXPECT_EQ(window.asked[0].width, c.width) << c.what;
      EXPECT_EQ(window.asked[0].height, c.height) << c.what;
    }
    EXPECT_EQ(host.countOf(kSizeWindow), 1u) << c.what;
  }
}

TEST(HostCallbackRecorder, CanDoSizeWindowTellsWhetherTheWindowFollows) {
  constexpr std::int32_t kCanDo = plughost::audioMasterCanDo;
  char sizeWindow[] = "sizeWindow";
  char longer[] = "sizeWindows";
  char other[] = "sendVstEvents";
  HostCallbackRecorder host;
  EXPECT_EQ(host.handle(kCanDo, 0, 0, sizeWindow, 0.0f), -1) << "without a window";
  WindowStub refusing(false);
  host.setEditorWindowSizer(&refusing);
  EXPECT_EQ(host.handle(kCanDo, 0, 0, sizeWindow, 0.0f), -1);
  WindowStub following(true);
  host.setEditorWindowSizer(&following);
  EXPECT_EQ(host.handle(kCanDo, 0, 0, sizeWindow, 0.0f), 1);
  EXPECT_EQ(host.handle(kCanDo, 0, 0, longer, 0.0f), 0);
  EXPECT_EQ(host.handle(kCanDo, 0, 0, other, 0.0f), 0);
  EXPECT_EQ(host.handle(kCanDo, 0, 0, nullptr, 0.0f), 0);
  host.setEditorWindowSizer(nullptr);
  EXPECT_EQ(host.handle(kCanDo, 0, 0, sizeWindow, 0.0f), -1);
  EXPECT_TRUE(refusing.asked.empty());
  EXPECT_TRUE(following.asked.empty()) << "asking whether it can resizes nothing";
}

}  // namespace
