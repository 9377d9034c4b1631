// The editor: the requests a host may send before, around and after a panel is shown. The ones
// that need a real host window are in editor_win.cpp.
#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/editor_window.h"
#include "tools/plughost/validate/effect.h"

namespace plughost::validate {
namespace {

bool hasEditor(const Effect& effect) {
  return (effect->flags & effFlagsHasEditor) != 0;
}

std::string rectText(const EditorRect& r) {
  return std::to_string(r.right - r.left) + " x " + std::to_string(r.bottom - r.top) + " at (" +
         std::to_string(r.left) + ", " + std::to_string(r.top) + ")";
}

EditorRect askRect(Effect& effect, const std::string& when) {
  EditorRect* rect = nullptr;
  effect.dispatch(effEditGetRect, 0, 0, &rect);
  require(rect != nullptr, "effEditGetRect " + when + " gives no rectangle");
  return *rect;
}

std::string rect(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  if (!hasEditor(effect)) {
    throw Skipped("the plug-in has no editor");
  }
  const EditorRect beforeOpen = askRect(effect, "before effOpen");
  effect.start();
  const EditorRect before = askRect(effect, "before the editor opens");
  auto same = [](const EditorRect& a, const EditorRect& b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
  };
  require(same(beforeOpen, before), "effEditGetRect changes with effOpen: " + rectText(beforeOpen) +
                                        ", then " + rectText(before));
  if (!EditorWindow::supported()) {
    return "effEditGetRect before effOpen and before the editor opens: " + rectText(before) +
           " (after opening: needs a host window; no X display here)";
  }
  EditorWindow window(effect);
  window.idle();
  const EditorRect after = askRect(effect, "with the editor open");
  require(same(before, after), "the rectangle changes when the editor opens: " + rectText(before) +
                                   ", then " + rectText(after));
  return "effEditGetRect before effOpen, before and after the editor opens: " + rectText(before);
}

std::string idleBeforeOpen(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  effect.start();
  const int idles = context.scaled(5, 50);
  for (int i = 0; i < idles; ++i) {
    effect.dispatch(effEditIdle);
    if (i % 5 == 0 && effect->numParams > 0) {
      effect.setParameter(0, 0.25f);
    }
  }
  return std::to_string(idles) + " effEditIdle requests (with parameter changes) before any open" +
         (hasEditor(effect) ? "" : " of an effect without editor") + ": no harm";
}

std::string closeWithoutOpen(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  effect.start();
  effect.dispatch(effEditClose);
  effect.dispatch(effEditClose);
  effect.dispatch(effEditIdle);
  if (!hasEditor(effect) || !EditorWindow::supported()) {
    return "effEditClose twice without an open, then idle: no harm" +
           std::string(hasEditor(effect) ? " (opening after it needs a host window)" : "");
  }
  {
    EditorWindow window(effect);
    window.idle();
  }
  EditorWindow again(effect);
  again.idle();
  return "effEditClose twice without an open: the editor still opens and closes normally after it";
}

}  // namespace

std::vector<Check> editorChecks() {
  std::vector<Check> checks = {
      {"editor", "rect", rect},
      {"editor", "idle_before_open", idleBeforeOpen},
      {"editor", "close_without_open", closeWithoutOpen},
  };
  for (const Check& check : windowEditorChecks()) {
    checks.push_back(check);
  }
  return checks;
}

}  // namespace plughost::validate
