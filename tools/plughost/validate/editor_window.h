// A host window with an effect's editor open in it, for checks that need a real panel: a Win32
// window in the Windows build, an X11 window on the display DISPLAY names in the Linux build.
#pragma once

#include <memory>
#include <vector>

#include "tools/plughost/validate/check.h"
#include "tools/plughost/validate/effect.h"

namespace plughost::validate {

class EditorWindow {
 public:
  // False where no host window can be made (no X display).
  static bool supported();

  // Makes a host window the size of the effect's rectangle and opens the editor in it. Throws
  // Failure when the open gives no window, Skipped where windows are not supported.
  explicit EditorWindow(Effect& effect);
  // Closes the editor (unless the effect was closed) and destroys the host window.
  ~EditorWindow();
  EditorWindow(const EditorWindow&) = delete;
  EditorWindow& operator=(const EditorWindow&) = delete;

  // effEditIdle, then the window messages waiting for this thread.
  void idle();

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

// The checks that need windows (editor_win.cpp, editor_x11.cpp).
std::vector<Check> windowEditorChecks();

}  // namespace plughost::validate
