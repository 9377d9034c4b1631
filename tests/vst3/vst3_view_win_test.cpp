// The editor view in a host's Win32 window (under Wine, on its private display): the host's
// content scale gives the real window its size, a menu choice on the panel resizes it through the
// host's frame and comes back with the controller's state, a frame that refuses keeps the size.
#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>
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

Size sizeOf(const Steinberg_ViewRect& rect) {
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// The host's own window: a plain visible window near the screen's corner, large enough for the
// largest panel the test opens, its messages dispatched between steps as a host's loop would.
class HostWindow {
 public:
  HostWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);  // already there from an earlier test: the same class
    window_ = CreateWindowExA(0, kClassName, "host", WS_POPUP | WS_CLIPCHILDREN, 20, 20, 900, 900,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window_ == nullptr) {
      throw std::runtime_error("no host window");
    }
    // Shown without activation: under Wine no window manager then takes part, and the window
    // does not wait for one.
    SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    pump();
  }
  ~HostWindow() {
    DestroyWindow(window_);
    pump();
  }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND handle() const { return window_; }
  void pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  // The panel's window: the host window's one child.
  HWND child() const { return GetWindow(window_, GW_CHILD); }
  int childCount() const {
    int count = 0;
    for (HWND c = GetWindow(window_, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
      ++count;
    }
    return count;
  }
  static Size clientSize(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
  }
  // A press of the panel at a point of its window: the cursor put there first, since the panel
  // asks where the cursor is rather than reading the message's coordinates.
  void press(UINT message, int x, int y) {
    HWND panel = child();
    POINT screen{x, y};
    ClientToScreen(panel, &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageA(panel, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON,
                 MAKELPARAM(x, y));
    pump();
  }

 private:
  static constexpr const char* kClassName = "DriveVst3ViewTestHost";
  HWND window_ = nullptr;
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
  return sizeOf(rect);
}

// A view as a host opens it: its frame, the scale, getSize (the host sizes its window by it),
// then attached to the HWND.
struct OpenView {
  OpenView(Editor& editor, HostWindow& window, float factor, bool frameAccepts = true)
      : view(editor.controller.vtbl()->createView(editor.controller.get(), "editor")) {
    if (!view) {
      throw std::runtime_error("the controller made no view");
    }
    frame.acceptsResize = frameAccepts;
    view.vtbl()->setFrame(view.get(), frame.frame());
    scale(view, factor);
    opened = sizeOf(view);
    if (view.vtbl()->attached(view.get(), window.handle(), "HWND") != Steinberg_kResultOk ||
        window.childCount() != 1) {
      throw std::runtime_error("the view did not attach");
    }
    window.pump();
    panel = window.child();
  }
  ~OpenView() { view.vtbl()->removed(view.get()); }
  OpenView(const OpenView&) = delete;
  OpenView& operator=(const OpenView&) = delete;

  vst3test::PlugFrame frame;
  Ref<Steinberg_IPlugView> view;
  Size opened{};
  HWND panel = nullptr;
};

// A right click at a point of the panel at 100 %, then a left click on the menu's item for a
// zoom. The menu opens with its corner at the click; item i's rows start 2 + 13 i below it.
void chooseFromMenu(HostWindow& window, int zoomItem) {
  window.press(WM_RBUTTONDOWN, 100, 100);
  window.press(WM_LBUTTONDOWN, 116, 100 + 2 + 13 * zoomItem + 6);
}

struct OpeningCase {
  float factor;
  Size size;
};

TEST(Vst3ViewWin32Zoom, AContentScaleOpensTheRealWindowAtItsZoom) {
  const OpeningCase cases[] = {
      {2.0f, {540, 800}}, {1.5f, {405, 600}}, {1.7f, {405, 600}}, {1.0f, {270, 400}}};
  for (const OpeningCase& expected : cases) {
    SCOPED_TRACE(expected.factor);
    Editor e;
    HostWindow window;
    OpenView open(e, window, expected.factor);
    EXPECT_EQ(open.opened, expected.size);
    EXPECT_EQ(HostWindow::clientSize(open.panel), expected.size);
    EXPECT_TRUE(open.frame.resizeRequests.empty());
    // The same factor again changes nothing: no second scaling, no request.
    scale(open.view, expected.factor);
    window.pump();
    EXPECT_EQ(sizeOf(open.view), expected.size);
    EXPECT_EQ(HostWindow::clientSize(open.panel), expected.size);
    EXPECT_TRUE(open.frame.resizeRequests.empty());
  }
}

TEST(Vst3ViewWin32Zoom, AScaleForAnOpenViewResizesThroughTheFrameOnce) {
  Editor e;
  HostWindow window;
  OpenView open(e, window, 1.0f);
  ASSERT_EQ(HostWindow::clientSize(open.panel), (Size{270, 400}));
  scale(open.view, 2.0f);
  window.pump();
  ASSERT_EQ(open.frame.resizeRequests.size(), 1u);
  EXPECT_EQ(sizeOf(open.frame.resizeRequests[0]), (Size{540, 800}));
  EXPECT_EQ(sizeOf(open.view), (Size{540, 800}));
  EXPECT_EQ(HostWindow::clientSize(open.panel), (Size{540, 800}));
  scale(open.view, 2.0f);
  EXPECT_EQ(open.frame.resizeRequests.size(), 1u);
}

TEST(Vst3ViewWin32Zoom, AFrameThatRefusesKeepsTheCurrentSize) {
  Editor e;
  HostWindow window;
  OpenView open(e, window, 1.0f, false);
  scale(open.view, 2.0f);
  window.pump();
  ASSERT_EQ(open.frame.resizeRequests.size(), 1u);
  EXPECT_EQ(sizeOf(open.view), (Size{270, 400}));
  EXPECT_EQ(HostWindow::clientSize(open.panel), (Size{270, 400}));

  chooseFromMenu(window, 2);
  ASSERT_EQ(open.frame.resizeRequests.size(), 2u);
  EXPECT_EQ(sizeOf(open.frame.resizeRequests[1]), (Size{540, 800}));
  EXPECT_EQ(sizeOf(open.view), (Size{270, 400}));
  EXPECT_EQ(HostWindow::clientSize(open.panel), (Size{270, 400}));
  const std::vector<unsigned char> saved = e.state();
  ASSERT_GE(saved.size(), 4u);
  EXPECT_EQ(std::vector<unsigned char>(saved.end() - 4, saved.end()),
            (std::vector<unsigned char>{0, 0, 0, 0}));
  EXPECT_TRUE(e.handler.calls.empty());
}

TEST(Vst3ViewWin32Zoom, AMenuChoiceResizesAndComesBackWithTheControllersState) {
  std::vector<unsigned char> saved;
  {
    Editor e;
    HostWindow window;
    OpenView open(e, window, 1.0f);
    chooseFromMenu(window, 2);
    ASSERT_EQ(open.frame.resizeRequests.size(), 1u);
    EXPECT_EQ(sizeOf(open.frame.resizeRequests[0]), (Size{540, 800}));
    EXPECT_EQ(sizeOf(open.view), (Size{540, 800}));
    EXPECT_EQ(HostWindow::clientSize(open.panel), (Size{540, 800}));
    EXPECT_EQ(e.handler.calls, (std::vector<std::string>{"dirty 1"}));
    saved = e.state();
  }
  Editor e;
  e.setState(saved);
  HostWindow window;
  OpenView open(e, window, 1.0f);
  EXPECT_EQ(open.opened, (Size{540, 800}));
  EXPECT_EQ(HostWindow::clientSize(open.panel), (Size{540, 800}));
  EXPECT_TRUE(open.frame.resizeRequests.empty());

  // An older state, without the choice, brings the open view back to the host's factor.
  saved.resize(saved.size() - 12);
  e.setState(saved);
  window.pump();
  ASSERT_EQ(open.frame.resizeRequests.size(), 1u);
  EXPECT_EQ(HostWindow::clientSize(open.panel), (Size{270, 400}));
}

}  // namespace
