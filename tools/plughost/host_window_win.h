// A host's editor frame: a plain top-level window whose client area an editor opens into
// (effEditOpen gets handle()). Shown without being activated and placed in the middle of the
// primary screen, so that the whole client area can be reached with the real pointer and read
// back from the screen. Destroyed, with whatever the editor left in it, by the destructor.
#pragma once

#include <windows.h>

namespace plughost {

class HostWindow {
 public:
  // Throws HostError when the window cannot be made.
  HostWindow(int clientWidth, int clientHeight);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND handle() const { return window_; }

  // Dispatches every message waiting for this thread's windows, then returns.
  void pump();

  // The host destroys its window now, and with it whatever the editor made in it, as a host
  // does when the user closes it.
  void destroy();

  // A point of the client area in screen coordinates.
  POINT clientToScreen(POINT client) const;

 private:
  HWND window_ = nullptr;
};

}  // namespace plughost
