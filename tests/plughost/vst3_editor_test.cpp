// The VST 3 editor in plughost's X11 host window, on a private display: the view attached to the
// window, run from the frame's run loop by idleEditor passes, and a drag of the real pointer
// reaching the host as automation, the controller and the next block of audio.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "tools/plughost/host_callback.h"
#include "tools/plughost/host_error.h"
#include "tools/plughost/host_window_x11.h"
#include "tools/plughost/plugin_instance.h"
#include "tools/plughost/plugin_library.h"
#include "tools/plughost/vst3_host.h"

namespace {

using namespace plughost;

// Passes of the host's loop until the plug-in reported `count` edits in all, or two seconds.
void idleUntil(Vst3HostedPlugin& plugin, X11HostWindow& window, std::size_t count) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  do {
    window.pump();
    plugin.idleEditor();
    if (plugin.automation().size() >= count) {
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < end);
}

TEST(Vst3Editor, OpensInTheHostWindowAndItsDragsAreAutomation) {
  Vst3HostedPlugin plugin(DRIVE_VST3_BUNDLE);
  const std::optional<EditorRect> rect = plugin.editorRect();
  ASSERT_TRUE(rect.has_value());
  ASSERT_EQ(rect->right - rect->left, 270);
  ASSERT_EQ(rect->bottom - rect->top, 400);

  X11HostWindow window(270, 400);
  plugin.openEditor(window.parentPointer());
  // Asked again, the host closes the open view and opens a new one: still one window.
  plugin.openEditor(window.parentPointer());
  for (int i = 0; i < 5; ++i) {
    window.pump();
    plugin.idleEditor();
  }
  EXPECT_EQ(window.childCount(), 1);
  // The open view answers for the size.
  const std::optional<EditorRect> open = plugin.editorRect();
  ASSERT_TRUE(open.has_value());
  EXPECT_EQ(open->right, 270);
  EXPECT_FALSE(plugin.requestedEditorSize().has_value());

  // Knob 0: a press at its middle sets 0.5, a move down and left while held lowers it.
  window.raise();
  window.pointerTo(55, 30);
  window.leftButton(true);
  idleUntil(plugin, window, 1);
  window.pointerTo(40, 43);
  idleUntil(plugin, window, 2);
  // Letting go and moving away reports nothing more.
  window.leftButton(false);
  window.pointerTo(5, 395);
  for (int i = 0; i < 10; ++i) {
    window.pump();
    plugin.idleEditor();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const std::vector<AutomationReport> automation = plugin.automation();
  ASSERT_EQ(automation.size(), 2u);
  EXPECT_EQ(automation[0].index, 0);
  EXPECT_EQ(automation[0].value, 0.5f);
  EXPECT_EQ(automation[1].index, 0);
  EXPECT_EQ(automation[1].value, 0.2142857164f);
  EXPECT_EQ(plugin.parameter(0), 0.2142857164f);

  // The edit reaches the audio of the next block, as the VST 2 library's value does.
  std::vector<float> input(512);
  for (std::size_t i = 0; i < input.size(); ++i) {
    input[i] = static_cast<float>(i % 50) / 25.0f - 1.0f;
  }
  std::vector<float> out3(1024);
  std::vector<float> out2(1024);
  float* in[2] = {input.data(), input.data()};
  float* o3[2] = {out3.data(), out3.data() + 512};
  float* o2[2] = {out2.data(), out2.data() + 512};
  plugin.setActive(true);
  plugin.processReplacing(in, o3, 512);
  PluginLibrary library(DRIVE_VST2_PATH);
  HostCallbackRecorder host;
  PluginInstance vst2(library, host);
  vst2.start(44100.0f, 512);
  vst2.setParameter(0, 0.2142857164f);
  vst2.process(ProcessMode::replacing, in, o2, 512);
  EXPECT_EQ(std::memcmp(out3.data(), out2.data(), out3.size() * sizeof(float)), 0);

  plugin.closeEditor();
  for (int i = 0; i < 50 && window.childCount() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(window.childCount(), 0);
  // Idle with the editor closed is harmless; it opens again.
  plugin.idleEditor();
  plugin.openEditor(window.parentPointer());
  plugin.idleEditor();
  plugin.closeEditor();
}

TEST(Vst3Editor, ClosesWithThePluginLeftOpen) {
  X11HostWindow window(270, 400);
  for (int round = 0; round < 3; ++round) {
    Vst3HostedPlugin plugin(DRIVE_VST3_BUNDLE);
    plugin.setActive(true);
    plugin.openEditor(window.parentPointer());
    plugin.idleEditor();
  }
  for (int i = 0; i < 50 && window.childCount() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(window.childCount(), 0);
}

}  // namespace
