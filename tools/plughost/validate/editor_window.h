// The window-system half of the editor checks: a host window an editor opens in, and what a
// host does to it between requests. A Win32 window in the Windows build
// (editor_window_win.cpp), an X11 window on the display DISPLAY names in the Linux build
// (editor_window_x11.cpp); the checks themselves are the same (checks_editor.cpp).
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "tools/plughost/plugin.h"

namespace plughost::validate {

// How the checks' messages name what the window system does.
struct WindowSystemWords {
  const char* paint;            // "expose" / "paint": asking the editor to draw again
  const char* painted;          // "exposed" / "painted"
  const char* inputAfterClose;  // what inputAfterClose() sends, as "... after effClose"
  const char* inputSent;        // the same in the result, "... in/to the host window ..."
  const char* unload;           // "unload" / "FreeLibrary"
};

extern const WindowSystemWords kWindowSystemWords;

class EditorHostWindow {
 public:
  // Why no host window can be made here (no X display); empty where windows can be made.
  static std::string whyNoWindows();
  static bool supported() { return whyNoWindows().empty(); }
  // Throws Skipped where windows cannot be made here, HostError when making one fails.
  static std::unique_ptr<EditorHostWindow> make(int width, int height);

  EditorHostWindow();
  ~EditorHostWindow();
  EditorHostWindow(const EditorHostWindow&) = delete;
  EditorHostWindow& operator=(const EditorHostWindow&) = delete;

  // The parent as hosts of this platform pass it to effEditOpen.
  void* parent() const;
  // The host's pass of its event loop between editor requests.
  void pump();
  // How many windows the editor made in this one.
  int childCount();
  // Asks everything in the window to draw again; where the editor draws only in its next idle
  // (paintsInIdle), the caller idles it before pumping.
  void invalidate();
  static bool paintsInIdle();
  // A press and release of the left button at a point of the window's area, as a user's hand
  // makes it; where the editor takes its input in its idle (paintsInIdle), the caller idles it
  // after.
  void press(int x, int y);
  // The host destroys its window now, with whatever the editor has in it; later calls on this
  // object do nothing harmful.
  void destroy();
  // What the window goes on getting after the effect was closed under its open editor:
  // paints and pointer input, also to whatever the editor left in it.
  void inputAfterClose();

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};

// A plug-in's editor open in a host window of its own (the size of its rectangle) for as long as
// this lives, for checks that need a real panel; closed at the end. Throws Failure when the open
// gives no window, Skipped where windows cannot be made.
class OpenEditor {
 public:
  explicit OpenEditor(Plugin& plugin);
  ~OpenEditor();
  OpenEditor(const OpenEditor&) = delete;
  OpenEditor& operator=(const OpenEditor&) = delete;

  // The editor's idle, then the host's pass of its event loop.
  void idle();

 private:
  Plugin& plugin_;
  std::unique_ptr<EditorHostWindow> window_;
};

// Whether the library is still mapped after its last unload (something else holds it); false
// where the platform cannot tell.
bool libraryStillLoaded(const std::filesystem::path& library);

// Faults raised while the editor's window procedure runs, which the system's message dispatch
// may catch and hide (Win32); nothing to watch elsewhere.
class EditorFaultWatch {
 public:
  EditorFaultWatch();
  ~EditorFaultWatch();
  EditorFaultWatch(const EditorFaultWatch&) = delete;
  EditorFaultWatch& operator=(const EditorFaultWatch&) = delete;

  // Throws Failure when such a fault happened since construction.
  void require(const std::string& when) const;

 private:
  void* handler_ = nullptr;
};

}  // namespace plughost::validate
