// Editor host windows on the X display DISPLAY names. A crash is caught by the check's own child
// process, so there are no faults to watch here.
#include <xcb/xcb.h>

#include <cstdlib>

#include "tools/plughost/host_error.h"
#include "tools/plughost/host_window_x11.h"
#include "tools/plughost/validate/check.h"
#include "tools/plughost/validate/editor_window.h"

namespace plughost::validate {

const WindowSystemWords kWindowSystemWords = {"expose", "exposed", "exposes and pointer input",
                                              "exposes and pointer input in the host window",
                                              "unload"};

struct EditorHostWindow::Native {
  std::unique_ptr<X11HostWindow> window;
};

std::string EditorHostWindow::whyNoWindows() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool reachable = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  if (reachable) {
    return {};
  }
  const char* display = std::getenv("DISPLAY");
  return std::string("no X display ('") + (display != nullptr ? display : "") + "') can be opened";
}

std::unique_ptr<EditorHostWindow> EditorHostWindow::make(int width, int height) {
  auto window = std::make_unique<EditorHostWindow>();
  try {
    window->native_->window = std::make_unique<X11HostWindow>(width, height);
  } catch (const HostError& e) {
    throw Skipped(std::string("needs an X display: ") + e.what());
  }
  return window;
}

EditorHostWindow::EditorHostWindow() : native_(std::make_unique<Native>()) {}
EditorHostWindow::~EditorHostWindow() = default;

void* EditorHostWindow::parent() const {
  return native_->window->parentPointer();
}

void EditorHostWindow::pump() {
  // Everything the editor sent has reached the server.
  native_->window->sync();
}

int EditorHostWindow::childCount() {
  return native_->window->childCount();
}

void EditorHostWindow::invalidate() {
  native_->window->exposeChildren();
}

bool EditorHostWindow::paintsInIdle() {
  // An X11 editor reads its expose events inside effEditIdle.
  return true;
}

void EditorHostWindow::press(int x, int y) {
  X11HostWindow& window = *native_->window;
  window.pointerTo(x, y);
  window.leftButton(true);
  window.leftButton(false);
}

void EditorHostWindow::destroy() {
  native_->window->destroy();
}

void EditorHostWindow::inputAfterClose() {
  X11HostWindow& window = *native_->window;
  window.exposeChildren();
  window.pointerTo(20, 20);
  window.leftButton(true);
  window.pointerTo(30, 10);
  window.leftButton(false);
}

bool libraryStillLoaded(const std::filesystem::path&) {
  return false;
}

EditorFaultWatch::EditorFaultWatch() = default;
EditorFaultWatch::~EditorFaultWatch() {}

void EditorFaultWatch::require(const std::string&) const {}

}  // namespace plughost::validate
