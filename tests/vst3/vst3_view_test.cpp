// The editor view in a host's X11 window (on a private Xvfb display): made by the controller,
// idled through the host's run loop timer, and a press on the panel reaching the host as an edit.
// Its zoom: the host's content scale and the panel's own menu give the real window its size,
// through the host's frame, and the choice comes back with the controller's state.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host/vst3/vst3_ids.h"
#include "tests/vst3/vst3_test_host.h"

using vst3test::create;
using vst3test::MemoryStream;
using vst3test::Ref;

namespace {

struct Size {
  int width;
  int height;
  friend bool operator==(const Size&, const Size&) = default;
};

void PrintTo(const Size& size, std::ostream* out) {
  *out << size.width << " x " << size.height;
}

// The host's own window on the test display, mapped, for the panel to live in.
class HostWindow {
 public:
  HostWindow() : connection_(xcb_connect(nullptr, nullptr)) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    window_ = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 400, 500, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(connection_, window_);
    xcb_flush(connection_);
  }
  ~HostWindow() { xcb_disconnect(connection_); }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  // An X11 view's parent is the window id itself, carried in the pointer.
  void* parent() const {
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window_));
  }
  std::vector<xcb_window_t> children() {
    std::vector<xcb_window_t> out;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window_), nullptr);
    if (tree != nullptr) {
      const xcb_window_t* ids = xcb_query_tree_children(tree);
      out.assign(ids, ids + xcb_query_tree_children_length(tree));
      std::free(tree);
    }
    return out;
  }
  // A press of a button (1 left, 3 right) as the server would deliver it to the panel's window.
  void press(xcb_window_t target, std::int16_t x, std::int16_t y, std::uint8_t button = 1) {
    char buffer[32] = {};
    auto* event = reinterpret_cast<xcb_button_press_event_t*>(buffer);
    event->response_type = XCB_BUTTON_PRESS;
    event->detail = button;
    event->event = target;
    event->event_x = x;
    event->event_y = y;
    event->same_screen = 1;
    xcb_send_event(connection_, 0, target, XCB_EVENT_MASK_BUTTON_PRESS, buffer);
    xcb_flush(connection_);
  }
  // The size the server gives a window now; 0 x 0 when it has none.
  Size geometry(xcb_window_t target) {
    Size size{0, 0};
    if (xcb_get_geometry_reply_t* reply =
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, target), nullptr)) {
      size = {reply->width, reply->height};
      std::free(reply);
    }
    return size;
  }
  // The panel resizes its window on a connection of its own: its request reaches the server
  // some time after the call that made it returned.
  Size geometryOnceItIs(xcb_window_t target, Size expected) {
    Size size = geometry(target);
    for (int i = 0; i < 100 && !(size == expected); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      size = geometry(target);
    }
    return size;
  }
  // For a size that must not change: long enough for any request of the panel's to arrive.
  Size geometryAfterAWhile(xcb_window_t target) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return geometry(target);
  }

 private:
  xcb_connection_t* connection_;
  xcb_window_t window_ = 0;
};

struct Editor {
  Editor()
      : controller(create<Steinberg_Vst_IEditController>(vst3::kControllerClassId,
                                                         Steinberg_Vst_IEditController_iid)) {
    if (!controller) {
      throw std::runtime_error("the factory made no controller");
    }
    controller.vtbl()->initialize(controller.get(), nullptr);
    controller.vtbl()->setComponentHandler(controller.get(), handler.handler());
  }
  ~Editor() { controller.vtbl()->terminate(controller.get()); }
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  Ref<Steinberg_IPlugView> view(const char* name) {
    return Ref<Steinberg_IPlugView>(controller.vtbl()->createView(controller.get(), name));
  }
  std::vector<unsigned char> state() {
    MemoryStream stream;
    EXPECT_EQ(controller.vtbl()->getState(controller.get(), stream.stream()), Steinberg_kResultOk);
    return stream.data;
  }
  void setState(const std::vector<unsigned char>& bytes) {
    MemoryStream stream(bytes);
    EXPECT_EQ(controller.vtbl()->setState(controller.get(), stream.stream()), Steinberg_kResultOk);
  }

  vst3test::ComponentHandler handler;
  Ref<Steinberg_Vst_IEditController> controller;
};

TEST(Vst3View, IsThePanelForX11Windows) {
  Editor e;
  EXPECT_FALSE(e.view("other"));
  Ref<Steinberg_IPlugView> view = e.view("editor");
  ASSERT_TRUE(view);
  // One panel at a time.
  EXPECT_FALSE(e.view("editor"));
  EXPECT_EQ(view.vtbl()->isPlatformTypeSupported(view.get(), "X11EmbedWindowID"),
            Steinberg_kResultTrue);
  EXPECT_EQ(view.vtbl()->isPlatformTypeSupported(view.get(), "HWND"), Steinberg_kResultFalse);
  // At 100 % on this display (no Xft.dpi): the panel's own size.
  Steinberg_ViewRect size{1, 2, 3, 4};
  ASSERT_EQ(view.vtbl()->getSize(view.get(), &size), Steinberg_kResultOk);
  EXPECT_EQ(size.left, 0);
  EXPECT_EQ(size.top, 0);
  EXPECT_EQ(size.right, 270);
  EXPECT_EQ(size.bottom, 400);
  // To the offered sizes only (checkSizeConstraint).
  EXPECT_EQ(view.vtbl()->canResize(view.get()), Steinberg_kResultTrue);
  view.reset();
  EXPECT_TRUE(e.view("editor"));
}

TEST(Vst3View, RefusesAWindowWithoutTheHostsRunLoop) {
  Editor e;
  HostWindow window;
  Ref<Steinberg_IPlugView> view = e.view("editor");
  ASSERT_TRUE(view);
  EXPECT_EQ(view.vtbl()->attached(view.get(), window.parent(), "X11EmbedWindowID"),
            Steinberg_kResultFalse);
  EXPECT_TRUE(window.children().empty());
}

TEST(Vst3View, APressOnThePanelReachesTheHostAsOneEdit) {
  Editor e;
  HostWindow window;
  vst3test::PlugFrame frame;
  Ref<Steinberg_IPlugView> view = e.view("editor");
  ASSERT_TRUE(view);
  view.vtbl()->setFrame(view.get(), frame.frame());
  ASSERT_EQ(view.vtbl()->attached(view.get(), window.parent(), "X11EmbedWindowID"),
            Steinberg_kResultOk);
  EXPECT_EQ(frame.timersRegistered, 1);
  const std::vector<xcb_window_t> children = window.children();
  ASSERT_EQ(children.size(), 1u);

  // The pad below the displays steps the level up from 0.2 by 0.05.
  for (int i = 0; i < 5; ++i) {
    frame.fire();
  }
  window.press(children[0], 100, 300);
  for (int i = 0; i < 100 && e.handler.calls.size() < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    frame.fire();
  }
  ASSERT_EQ(e.handler.calls.size(), 3u);
  EXPECT_EQ(e.handler.calls[0], "begin 3");
  EXPECT_EQ(e.handler.calls[1].rfind("perform 3=0.25", 0), 0u) << e.handler.calls[1];
  EXPECT_EQ(e.handler.calls[2], "end 3");
  EXPECT_EQ(e.controller.vtbl()->getParamNormalized(e.controller.get(), 3), 0.25);

  ASSERT_EQ(view.vtbl()->removed(view.get()), Steinberg_kResultOk);
  EXPECT_EQ(frame.timersUnregistered, 1);
  EXPECT_EQ(frame.timer, nullptr);
  for (int i = 0; i < 50 && !window.children().empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(window.children().empty());
}

// The host's content scale, through the view's own interface for it.
void scale(const Ref<Steinberg_IPlugView>& view, float factor) {
  const Ref<Steinberg_IPlugViewContentScaleSupport> support =
      view.query<Steinberg_IPlugViewContentScaleSupport>(
          Steinberg_IPlugViewContentScaleSupport_iid);
  ASSERT_TRUE(support);
  EXPECT_EQ(support.vtbl()->setContentScaleFactor(support.get(), factor), Steinberg_kResultTrue);
}

Size sizeOf(const Ref<Steinberg_IPlugView>& view) {
  Steinberg_ViewRect rect{-1, -1, -1, -1};
  EXPECT_EQ(view.vtbl()->getSize(view.get(), &rect), Steinberg_kResultOk);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

Size sizeOf(const Steinberg_ViewRect& rect) {
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// A view as a host opens it: its frame, the scale, then getSize (which the host sizes its window
// by) and attached.
struct OpenView {
  OpenView(Editor& editor, HostWindow& window, float factor, bool frameAccepts = true)
      : view(editor.view("editor")) {
    if (!view) {
      throw std::runtime_error("the controller made no view");
    }
    frame.acceptsResize = frameAccepts;
    view.vtbl()->setFrame(view.get(), frame.frame());
    scale(view, factor);
    opened = sizeOf(view);
    if (view.vtbl()->attached(view.get(), window.parent(), "X11EmbedWindowID") !=
            Steinberg_kResultOk ||
        window.children().size() != 1) {
      throw std::runtime_error("the view did not attach");
    }
    child = window.children()[0];
  }
  ~OpenView() { view.vtbl()->removed(view.get()); }
  OpenView(const OpenView&) = delete;
  OpenView& operator=(const OpenView&) = delete;

  // Runs the panel's idle until the frame heard `count` resize requests, or a second.
  void idleUntilResizeRequests(std::size_t count) {
    for (int i = 0; i < 100 && frame.resizeRequests.size() < count; ++i) {
      frame.fire();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  vst3test::PlugFrame frame;
  Ref<Steinberg_IPlugView> view;
  Size opened{};
  xcb_window_t child = 0;
};

// A right click at a point of the panel at 100 %, then a left click on the menu's item for a
// zoom. The menu opens with its corner at the click; item i's rows start 2 + 13 i below it.
void chooseFromMenu(HostWindow& window, xcb_window_t panel, int zoomItem) {
  window.press(panel, 100, 100, 3);
  window.press(panel, 116, static_cast<std::int16_t>(100 + 2 + 13 * zoomItem + 6), 1);
}

struct OpeningCase {
  float factor;
  Size size;
};

TEST(Vst3ViewZoom, AContentScaleOpensTheRealWindowAtItsZoom) {
  const OpeningCase cases[] = {
      {2.0f, {540, 800}}, {1.5f, {405, 600}}, {1.7f, {405, 600}}, {1.0f, {270, 400}}};
  for (const OpeningCase& expected : cases) {
    SCOPED_TRACE(expected.factor);
    Editor e;
    HostWindow window;
    OpenView open(e, window, expected.factor);
    EXPECT_EQ(open.opened, expected.size);
    EXPECT_EQ(window.geometry(open.child), expected.size);
    // The host sized its window by getSize: nothing to ask it for.
    EXPECT_TRUE(open.frame.resizeRequests.empty());
    // The same factor again changes nothing: no second scaling, no request.
    scale(open.view, expected.factor);
    EXPECT_EQ(sizeOf(open.view), expected.size);
    EXPECT_EQ(window.geometryAfterAWhile(open.child), expected.size);
    EXPECT_TRUE(open.frame.resizeRequests.empty());
  }
}

TEST(Vst3ViewZoom, AScaleForAnOpenViewResizesThroughTheFrameOnce) {
  Editor e;
  HostWindow window;
  OpenView open(e, window, 1.0f);
  ASSERT_EQ(window.geometry(open.child), (Size{270, 400}));
  scale(open.view, 2.0f);
  ASSERT_EQ(open.frame.resizeRequests.size(), 1u);
  EXPECT_EQ(sizeOf(open.frame.resizeRequests[0]), (Size{540, 800}));
  EXPECT_EQ(sizeOf(open.view), (Size{540, 800}));
  EXPECT_EQ(window.geometryOnceItIs(open.child, {540, 800}), (Size{540, 800}));
  scale(open.view, 2.0f);
  EXPECT_EQ(open.frame.resizeRequests.size(), 1u);
  EXPECT_EQ(window.geometryAfterAWhile(open.child), (Size{540, 800}));
}

TEST(Vst3ViewZoom, AFrameThatRefusesKeepsTheCurrentSize) {
  Editor e;
  HostWindow window;
  OpenView open(e, window, 1.0f, false);
  scale(open.view, 2.0f);
  ASSERT_EQ(open.frame.resizeRequests.size(), 1u);
  EXPECT_EQ(sizeOf(open.view), (Size{270, 400}));
  EXPECT_EQ(window.geometryAfterAWhile(open.child), (Size{270, 400}));

  // A menu choice the host refuses is no choice: the size stays, and the state keeps none.
  chooseFromMenu(window, open.child, 2);
  open.idleUntilResizeRequests(2);
  ASSERT_EQ(open.frame.resizeRequests.size(), 2u);
  EXPECT_EQ(sizeOf(open.frame.resizeRequests[1]), (Size{540, 800}));
  EXPECT_EQ(sizeOf(open.view), (Size{270, 400}));
  EXPECT_EQ(window.geometryAfterAWhile(open.child), (Size{270, 400}));
  const std::vector<unsigned char> saved = e.state();
  ASSERT_GE(saved.size(), 4u);
  EXPECT_EQ(std::vector<unsigned char>(saved.end() - 4, saved.end()),
            (std::vector<unsigned char>{0, 0, 0, 0}));
  EXPECT_TRUE(e.handler.calls.empty());
}

TEST(Vst3ViewZoom, AMenuChoiceResizesAndComesBackWithTheControllersState) {
  std::vector<unsigned char> saved;
  {
    Editor e;
    HostWindow window;
    OpenView open(e, window, 1.0f);
    for (int i = 0; i < 5; ++i) {
      open.frame.fire();
    }
    chooseFromMenu(window, open.child, 2);
    open.idleUntilResizeRequests(1);
    ASSERT_EQ(open.frame.resizeRequests.size(), 1u);
    EXPECT_EQ(sizeOf(open.frame.resizeRequests[0]), (Size{540, 800}));
    EXPECT_EQ(sizeOf(open.view), (Size{540, 800}));
    EXPECT_EQ(window.geometryOnceItIs(open.child, {540, 800}), (Size{540, 800}));
    // Neither click reached a control; the host hears that its project changed.
    EXPECT_EQ(e.handler.calls, (std::vector<std::string>{"dirty 1"}));
    saved = e.state();
  }
  // A new controller and view, under a host whose factor says 100 %: the choice wins.
  Editor e;
  e.setState(saved);
  HostWindow window;
  OpenView open(e, window, 1.0f);
  EXPECT_EQ(open.opened, (Size{540, 800}));
  EXPECT_EQ(window.geometry(open.child), (Size{540, 800}));
  EXPECT_TRUE(open.frame.resizeRequests.empty());

  // An older state, without the choice, brings the open view back to the host's factor.
  saved.resize(saved.size() - 12);
  e.setState(saved);
  ASSERT_EQ(open.frame.resizeRequests.size(), 1u);
  EXPECT_EQ(sizeOf(open.frame.resizeRequests[0]), (Size{270, 400}));
  EXPECT_EQ(window.geometryOnceItIs(open.child, {270, 400}), (Size{270, 400}));
}

TEST(Vst3ViewZoom, TheSizeTheHostGivesIsShownAtTheOfferedSizeInsideIt) {
  Editor e;
  HostWindow window;
  OpenView open(e, window, 1.0f);
  const struct {
    Steinberg_ViewRect given;
    Size shown;
  } cases[] = {
      {{0, 0, 405, 600}, {405, 600}},
      {{0, 0, 700, 900}, {540, 800}},
      {{0, 0, 810, 1200}, {810, 1200}},
      {{0, 0, 100, 100}, {270, 400}},
  };
  for (const auto& expected : cases) {
    SCOPED_TRACE(::testing::PrintToString(sizeOf(expected.given)));
    Steinberg_ViewRect given = expected.given;
    ASSERT_EQ(open.view.vtbl()->onSize(open.view.get(), &given), Steinberg_kResultOk);
    EXPECT_EQ(sizeOf(open.view), expected.shown);
    EXPECT_EQ(window.geometryOnceItIs(open.child, expected.shown), expected.shown);
  }
  EXPECT_TRUE(open.frame.resizeRequests.empty());
}

}  // namespace
