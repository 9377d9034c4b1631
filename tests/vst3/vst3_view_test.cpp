// The editor view in a host's X11 window (on a private Xvfb display): made by the controller,
// idled through the host's run loop timer, and a press on the panel reaching the host as an edit.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host/vst3/vst3_ids.h"
#include "tests/vst3/vst3_test_host.h"

using vst3test::create;
using vst3test::Ref;

namespace {

// IPlugFrame that also answers IRunLoop, as Linux hosts' frames do; it keeps the timer the view
// registers, for the test to fire.
class HostFrame {
 public:
  HostFrame()
      : frame_{{const_cast<Steinberg_IPlugFrameVtbl*>(&kFrameVtbl)}, this},
        loop_{{const_cast<Steinberg_Linux_IRunLoopVtbl*>(&kLoopVtbl)}, this} {}
  Steinberg_IPlugFrame* frame() { return &frame_.face; }
  void fire() {
    if (timer != nullptr) {
      timer->lpVtbl->onTimer(timer);
    }
  }

  Steinberg_Linux_ITimerHandler* timer = nullptr;
  int timersRegistered = 0;
  int timersUnregistered = 0;

 private:
  template <typename Interface>
  using Object = vst3test::HostObject<Interface, HostFrame>;
  static HostFrame& of(void* self) {
    return *static_cast<Object<Steinberg_IPlugFrame>*>(self)->self;
  }
  static Steinberg_tresult queryInterface(void* self, const Steinberg_TUID iid, void** obj) {
    HostFrame& host = of(self);
    if (vst3::sameId(iid, Steinberg_FUnknown_iid) || vst3::sameId(iid, Steinberg_IPlugFrame_iid)) {
      *obj = &host.frame_;
    } else if (vst3::sameId(iid, Steinberg_Linux_IRunLoop_iid)) {
      *obj = &host.loop_;
    } else {
      *obj = nullptr;
      return Steinberg_kNoInterface;
    }
    return Steinberg_kResultOk;
  }
  static Steinberg_uint32 addRef(void* /*self*/) { return 1; }
  static Steinberg_uint32 release(void* /*self*/) { return 1; }
  static Steinberg_tresult resizeView(void* /*self*/, Steinberg_IPlugView* /*view*/,
                                      Steinberg_ViewRect* /*rect*/) {
    return Steinberg_kResultFalse;
  }
  static Steinberg_tresult registerEventHandler(void* /*self*/, Steinberg_Linux_IEventHandler*,
                                                Steinberg_Linux_FileDescriptor) {
    return Steinberg_kResultFalse;
  }
  static Steinberg_tresult unregisterEventHandler(void* /*self*/, Steinberg_Linux_IEventHandler*) {
    return Steinberg_kResultFalse;
  }
  static Steinberg_tresult registerTimer(void* self, Steinberg_Linux_ITimerHandler* handler,
                                         Steinberg_Linux_TimerInterval /*ms*/) {
    HostFrame& host = *static_cast<Object<Steinberg_Linux_IRunLoop>*>(self)->self;
    host.timer = handler;
    ++host.timersRegistered;
    return Steinberg_kResultOk;
  }
  static Steinberg_tresult unregisterTimer(void* self, Steinberg_Linux_ITimerHandler* handler) {
    HostFrame& host = *static_cast<Object<Steinberg_Linux_IRunLoop>*>(self)->self;
    if (handler == host.timer) {
      host.timer = nullptr;
    }
    ++host.timersUnregistered;
    return Steinberg_kResultOk;
  }

  static constexpr Steinberg_IPlugFrameVtbl kFrameVtbl = {queryInterface, addRef, release,
                                                          resizeView};
  static constexpr Steinberg_Linux_IRunLoopVtbl kLoopVtbl = {
      queryInterface,         addRef,        release,        registerEventHandler,
      unregisterEventHandler, registerTimer, unregisterTimer};
  Object<Steinberg_IPlugFrame> frame_;
  Object<Steinberg_Linux_IRunLoop> loop_;
};

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
  // A left-button press as the server would deliver it to the panel's window.
  void press(xcb_window_t target, std::int16_t x, std::int16_t y) {
    char buffer[32] = {};
    auto* event = reinterpret_cast<xcb_button_press_event_t*>(buffer);
    event->response_type = XCB_BUTTON_PRESS;
    event->detail = 1;
    event->event = target;
    event->event_x = x;
    event->event_y = y;
    event->same_screen = 1;
    xcb_send_event(connection_, 0, target, XCB_EVENT_MASK_BUTTON_PRESS, buffer);
    xcb_flush(connection_);
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
  HostFrame frame;
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

}  // namespace
