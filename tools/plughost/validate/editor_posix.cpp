// Without a window system of our own, the checks that need a host window only say so.
#include "tools/plughost/validate/editor_window.h"

namespace plughost::validate {
namespace {

std::string needsWindow(Context&) {
  throw Skipped(
      "needs a host window: Windows build only (a Linux plug-in's editor needs an X11 "
      "parent)");
}

}  // namespace

struct EditorWindow::Parts {};

bool EditorWindow::supported() {
  return false;
}

EditorWindow::EditorWindow(Effect& /*effect*/) {
  throw Skipped("no host window in this build");
}

EditorWindow::~EditorWindow() = default;

void EditorWindow::idle() {}

std::vector<Check> windowEditorChecks() {
  return {
      {"editor", "open_close_same_parent", needsWindow},
      {"editor", "open_close_fresh_parents", needsWindow},
      {"editor", "open_twice", needsWindow},
      {"editor", "open_while_processing", needsWindow},
      {"editor", "two_instances", needsWindow},
      {"editor", "effect_closed_while_open", needsWindow},
      {"editor", "reload_library", needsWindow},
  };
}

}  // namespace plughost::validate
