// The VST 3 editor in plughost's X11 host window, on a private display: the view attached to the
// window, run from the frame's run loop by idleEditor passes, and a drag of the real pointer
// reaching the host as automation, the controller and the next block of audio. Its zoom: the
// editor scale plughost tells the view, and the view's resize requests through the host window.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <thread>
#include <utility>
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

struct Size {
  int width;
  int height;
  friend bool operator==(const Size&, const Size&) = default;
};

void PrintTo(const Size& size, std::ostream* out) {
  *out << size.width << " x " << size.height;
}

Size sizeOf(const std::optional<EditorRect>& rect) {
  return rect ? Size{rect->right - rect->left, rect->bottom - rect->top} : Size{0, 0};
}

// The test's own look at the display: the editor's window in the host's, its size as the server
// has it, and button presses sent to it as the server would deliver them.
class Display {
 public:
  Display() : connection_(xcb_connect(nullptr, nullptr)) {}
  ~Display() { xcb_disconnect(connection_); }
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  xcb_window_t onlyChild(xcb_window_t parent) {
    xcb_window_t child = 0;
    if (xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, parent), nullptr)) {
      if (xcb_query_tree_children_length(tree) == 1) {
        child = xcb_query_tree_children(tree)[0];
      }
      std::free(tree);
    }
    return child;
  }
  Size geometry(xcb_window_t window) {
    Size size{0, 0};
    if (xcb_get_geometry_reply_t* reply =
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr)) {
      size = {reply->width, reply->height};
      std::free(reply);
    }
    return size;
  }
  // The editor resizes its window on a connection of its own: the request reaches the server
  // some time after the call that made it.
  Size geometryOnceItIs(xcb_window_t window, Size expected) {
    Size size = geometry(window);
    for (int i = 0; i < 100 && !(size == expected); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      size = geometry(window);
    }
    return size;
  }
  Size geometryAfterAWhile(xcb_window_t window) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return geometry(window);
  }
  void resize(xcb_window_t window, int width, int height) {
    const std::uint32_t values[] = {static_cast<std::uint32_t>(width),
                                    static_cast<std::uint32_t>(height)};
    xcb_configure_window(connection_, window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    xcb_flush(connection_);
  }
  void press(xcb_window_t target, int x, int y, std::uint8_t button) {
    char buffer[32] = {};
    auto* event = reinterpret_cast<xcb_button_press_event_t*>(buffer);
    event->response_type = XCB_BUTTON_PRESS;
    event->detail = button;
    event->event = target;
    event->event_x = static_cast<std::int16_t>(x);
    event->event_y = static_cast<std::int16_t>(y);
    event->same_screen = 1;
    xcb_send_event(connection_, 0, target, XCB_EVENT_MASK_BUTTON_PRESS, buffer);
    xcb_flush(connection_);
  }

 private:
  xcb_connection_t* connection_;
};

// The command's side of a resize: the host window follows (or not), and each request is kept
// with the size the editor answered while it was being asked.
struct Resizes {
  void attach(Vst3HostedPlugin& plugin, Display& display, xcb_window_t window) {
    plugin.setEditorResizer([this, &plugin, &display, window](int width, int height) {
      asked.emplace_back(width, height);
      answeredMeanwhile.push_back(sizeOf(plugin.editorRect()));
      if (follow) {
        display.resize(window, width, height);
      }
      return follow;
    });
  }
  bool follow = true;
  std::vector<std::pair<int, int>> asked;
  std::vector<Size> answeredMeanwhile;
};

struct OpeningCase {
  double scale;
  Size size;
};

TEST(Vst3EditorZoom, TheEditorScaleOpensTheViewAtItsZoom) {
  const OpeningCase cases[] = {{2.0, {540, 800}}, {1.5, {405, 600}}, {1.7, {405, 600}}};
  Display display;
  for (const OpeningCase& expected : cases) {
    SCOPED_TRACE(expected.scale);
    Vst3HostedPlugin plugin(DRIVE_VST3_BUNDLE);
    plugin.setEditorScale(expected.scale);
    ASSERT_EQ(sizeOf(plugin.editorRect()), expected.size);
    X11HostWindow window(expected.size.width, expected.size.height);
    Resizes resizes;
    resizes.attach(plugin, display, window.id());
    plugin.openEditor(window.parentPointer());
    window.pump();
    plugin.idleEditor();
    const xcb_window_t editor = display.onlyChild(window.id());
    ASSERT_NE(editor, 0u);
    EXPECT_EQ(display.geometry(editor), expected.size);
    EXPECT_EQ(sizeOf(plugin.editorRect()), expected.size);
    // Told again, the view keeps its zoom: no second scaling, nothing asked of the window.
    plugin.setEditorScale(expected.scale);
    plugin.idleEditor();
    EXPECT_EQ(sizeOf(plugin.editorRect()), expected.size);
    EXPECT_EQ(display.geometryAfterAWhile(editor), expected.size);
    EXPECT_TRUE(resizes.asked.empty());
    EXPECT_FALSE(plugin.requestedEditorSize().has_value());
  }
}

TEST(Vst3EditorZoom, AScaleForTheOpenEditorResizesTheHostWindow) {
  Display display;
  Vst3HostedPlugin plugin(DRIVE_VST3_BUNDLE);
  plugin.setEditorScale(1.0);
  X11HostWindow window(270, 400);
  Resizes resizes;
  resizes.attach(plugin, display, window.id());
  plugin.openEditor(window.parentPointer());
  const xcb_window_t editor = display.onlyChild(window.id());
  ASSERT_NE(editor, 0u);
  plugin.setEditorScale(2.0);
  ASSERT_EQ(resizes.asked, (std::vector<std::pair<int, int>>{{540, 800}}));
  // Asked inside the request, the view already answers the size it asked for.
  EXPECT_EQ(resizes.answeredMeanwhile, (std::vector<Size>{{540, 800}}));
  EXPECT_EQ(sizeOf(plugin.editorRect()), (Size{540, 800}));
  EXPECT_EQ(sizeOf(plugin.requestedEditorSize()), (Size{540, 800}));
  EXPECT_EQ(display.geometryOnceItIs(editor, {540, 800}), (Size{540, 800}));
  EXPECT_EQ(display.geometryOnceItIs(window.id(), {540, 800}), (Size{540, 800}));
}

TEST(Vst3EditorZoom, AHostWindowThatDoesNotFollowKeepsTheEditorAtItsSize) {
  Display display;
  for (const bool withResizer : {true, false}) {
    SCOPED_TRACE(withResizer ? "a window that refuses" : "no resizer");
    Vst3HostedPlugin plugin(DRIVE_VST3_BUNDLE);
    plugin.setEditorScale(1.0);
    X11HostWindow window(270, 400);
    Resizes resizes;
    resizes.follow = false;
    if (withResizer) {
      resizes.attach(plugin, display, window.id());
    }
    plugin.openEditor(window.parentPointer());
    const xcb_window_t editor = display.onlyChild(window.id());
    ASSERT_NE(editor, 0u);
    plugin.setEditorScale(2.0);
    plugin.idleEditor();
    EXPECT_EQ(resizes.asked.size(), withResizer ? 1u : 0u);
    EXPECT_EQ(sizeOf(plugin.requestedEditorSize()), (Size{540, 800}));
    EXPECT_EQ(sizeOf(plugin.editorRect()), (Size{270, 400}));
    EXPECT_EQ(display.geometryAfterAWhile(editor), (Size{270, 400}));
  }
}

TEST(Vst3EditorZoom, AChoiceFromThePanelsMenuResizesTheHostWindow) {
  Display display;
  Vst3HostedPlugin plugin(DRIVE_VST3_BUNDLE);
  plugin.setEditorScale(1.0);
  X11HostWindow window(270, 400);
  Resizes resizes;
  resizes.attach(plugin, display, window.id());
  plugin.openEditor(window.parentPointer());
  const xcb_window_t editor = display.onlyChild(window.id());
  ASSERT_NE(editor, 0u);
  // A right click opens the menu at the point; 150 % is its second item, 15 pixels further down.
  display.press(editor, 100, 100, 3);
  display.press(editor, 116, 121, 1);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (resizes.asked.empty() && std::chrono::steady_clock::now() < end) {
    window.pump();
    plugin.idleEditor();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(resizes.asked, (std::vector<std::pair<int, int>>{{405, 600}}));
  EXPECT_EQ(sizeOf(plugin.editorRect()), (Size{405, 600}));
  EXPECT_EQ(display.geometryOnceItIs(editor, {405, 600}), (Size{405, 600}));
  // Neither click reached a control.
  EXPECT_TRUE(plugin.automation().empty());
}

}  // namespace
