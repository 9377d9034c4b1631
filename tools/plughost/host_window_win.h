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

  // Makes the client area this size, in the middle of the screen again; the editor's windows
  // inside keep their own size (an editor that asked for this one sizes them itself).
  void resize(int clientWidth, int clientHeight);
  int width() const { return width_; }
  int height() const { return height_; }

  // The host destroys its window now, and with it whatever the editor made in it, as a host
  // does when the user closes it.
  void destroy();

  // A point of the client area in screen coordinates.
  POINT clientToScreen(POINT client) const;

 private:
  HWND window_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// How the host's windows meet the screen's dots per inch, chosen before the first window. Aware
// (per monitor where the system can, else the system's): windows are told the desktop's DPI and
// the system does not scale what they draw. Unaware, as a program without a manifest saying
// otherwise is on Windows: windows are told 96 and the system scales them. The calls are looked
// up at run time, as older systems lack them. False when the process could not be made aware.
bool followDpi(bool aware);

}  // namespace plughost
