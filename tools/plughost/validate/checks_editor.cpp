// The editor: the requests a host may send before, around and after a panel is shown, and the
// panel in real host windows: open and close in one parent and in fresh ones, the odd orders
// (twice, while processing, two panels, the plug-in closed under an open panel), all through the
// one plug-in interface; and, for VST 2, its rectangle request, the library unloaded and loaded
// again, and the editor taken away inside an automation report. A crash is caught by the check's
// own child process; the window system's part is in editor_window_*.cpp.
#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/comparisons.h"
#include "tools/plughost/validate/editor_window.h"
#include "tools/plughost/validate/effect.h"
#include "tools/plughost/validate/guarded_buffers.h"
#include "tools/plughost/validate/signals.h"
#include "tools/plughost/vst2_plugin.h"

namespace plughost::validate {
namespace {

// A VST 2 effect has an editor when its flag says so (whether or not it gives a rectangle); other
// formats when the interface knows an editor's size, or will once it is open.
bool hasEditor(Plugin& plugin) {
  if (const Effect* effect = vst2Effect(plugin)) {
    return ((*effect)->flags & effFlagsHasEditor) != 0;
  }
  return plugin.editorRect().has_value();
}

void requireEditor(Plugin& plugin) {
  if (!hasEditor(plugin)) {
    throw Skipped("the plug-in has no editor");
  }
}

// The preamble of a check on the panel: a plug-in (skipping the check when it has no editor),
// switched on.
struct EditorSubject {
  explicit EditorSubject(Context& context, std::int32_t blockSize = 512)
      : source(context.plugin()), plugin(source.open()) {
    requireEditor(*plugin);
    plugin->setup(44100.0, blockSize);
    plugin->setActive(true);
  }
  const RequestWords& words() const { return requestWords(source.format()); }
  PluginSource source;
  std::unique_ptr<Plugin> plugin;
};

std::string rectText(const EditorRect& r) {
  return std::to_string(r.right - r.left) + " x " + std::to_string(r.bottom - r.top) + " at (" +
         std::to_string(r.left) + ", " + std::to_string(r.top) + ")";
}

EditorRect askRect(PluginInstance& effect, const std::string& when) {
  EditorRect* rect = nullptr;
  effect.dispatch(effEditGetRect, 0, 0, &rect);
  require(rect != nullptr, "effEditGetRect " + when + " gives no rectangle");
  return *rect;
}

// The window is made the size of the editor's rectangle, or a fallback size without one (an LV2
// UI tells its size only once it is made).
std::unique_ptr<EditorHostWindow> windowFor(Plugin& plugin) {
  EditorRect size{0, 0, 300, 400};
  const std::optional<EditorRect> rect = plugin.editorRect();
  if (rect && rect->right > rect->left && rect->bottom > rect->top) {
    size = *rect;
  }
  return EditorHostWindow::make(size.right - size.left, size.bottom - size.top);
}

void idle(Plugin& plugin, EditorHostWindow& window) {
  plugin.idleEditor();
  window.pump();
}

void repaint(Plugin& plugin, EditorHostWindow& window) {
  window.invalidate();
  if (EditorHostWindow::paintsInIdle()) {
    plugin.idleEditor();
  }
  window.pump();
}

void closeEditor(Plugin& plugin, EditorHostWindow& window) {
  plugin.closeEditor();
  window.pump();
}

// Opens the editor in `window`; fails when that leaves no window of the editor's in it.
void openIn(Plugin& plugin, EditorHostWindow& window, const std::string& when) {
  std::string answer;
  if (Effect* effect = vst2Effect(plugin)) {
    answer =
        " (answer " + std::to_string(effect->dispatch(effEditOpen, 0, 0, window.parent())) + ")";
  } else {
    plugin.openEditor(window.parent());
  }
  window.pump();
  idle(plugin, window);
  require(window.childCount() > 0, std::string(requestWords(plugin.format()).editorOpen) + " " +
                                       when + answer +
                                       " left no editor window in the host's window");
}

std::string rect(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  if ((effect->flags & effFlagsHasEditor) == 0) {
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
  if (!EditorHostWindow::supported()) {
    return "effEditGetRect before effOpen and before the editor opens: " + rectText(before) +
           " (after opening: needs a host window; no X display here)";
  }
  Vst2Plugin view(effect);
  OpenEditor window(view);
  window.idle();
  const EditorRect after = askRect(effect, "with the editor open");
  require(same(before, after), "the rectangle changes when the editor opens: " + rectText(before) +
                                   ", then " + rectText(after));
  return "effEditGetRect before effOpen, before and after the editor opens: " + rectText(before);
}

std::string idleBeforeOpen(Context& context) {
  PluginSource source(context.plugin());
  const std::unique_ptr<Plugin> plugin = source.start();
  const int idles = context.scaled(5, 50);
  for (int i = 0; i < idles; ++i) {
    plugin->idleEditor();
    if (i % 5 == 0 && plugin->parameterCount() > 0) {
      plugin->setParameter(0, 0.25f);
    }
  }
  return std::to_string(idles) + " " + requestWords(source.format()).editorIdle +
         " requests (with parameter changes) before any open" +
         (hasEditor(*plugin) ? "" : " of an effect without editor") + ": no harm";
}

std::string closeWithoutOpen(Context& context) {
  PluginSource source(context.plugin());
  const std::unique_ptr<Plugin> plugin = source.start();
  const RequestWords& words = requestWords(source.format());
  plugin->closeEditor();
  plugin->closeEditor();
  plugin->idleEditor();
  const bool editor = hasEditor(*plugin);
  if (!editor || !EditorHostWindow::supported()) {
    return std::string(words.editorClose) + " twice without an open, then idle: no harm" +
           (editor ? " (opening after it needs a host window)" : "");
  }
  {
    OpenEditor window(*plugin);
    window.idle();
  }
  OpenEditor again(*plugin);
  again.idle();
  return std::string(words.editorClose) +
         " twice without an open: the editor still opens and closes normally after it";
}

std::string sameParent(Context& context) {
  EditorFaultWatch faults;
  EditorSubject subject(context);
  Plugin& plugin = *subject.plugin;
  auto window = windowFor(plugin);
  const int cycles = context.scaled(5, 50);
  const std::string cycleText = std::string("open/idle/") + kWindowSystemWords.paint + "/close";
  int leftOver = 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    context.trace(cycleText + " " + std::to_string(cycle + 1) + " in the same parent");
    const int before = window->childCount();
    plugin.openEditor(window->parent());
    window->pump();
    for (int i = 0; i < 3; ++i) {
      idle(plugin, *window);
    }
    requireThat(window->childCount() > before, [&] {
      return "open " + std::to_string(cycle + 1) + " in the same parent made no new window";
    });
    repaint(plugin, *window);
    closeEditor(plugin, *window);
    leftOver = window->childCount();
  }
  if (leftOver > 0) {
    context.note(std::to_string(leftOver) + " windows left in the parent after " +
                 std::to_string(cycles) + " closes");
  }
  faults.require("in the editor's window procedure");
  return std::to_string(cycles) + " " + cycleText +
         " cycles in the same parent: a window each time, no crash";
}

std::string freshParents(Context& context) {
  EditorFaultWatch faults;
  EditorSubject subject(context);
  Plugin& plugin = *subject.plugin;
  const int cycles = context.scaled(5, 50);
  const std::string cycleText = std::string("open/idle/") + kWindowSystemWords.paint + "/close";
  for (int cycle = 0; cycle < cycles; ++cycle) {
    context.trace(cycleText + " " + std::to_string(cycle + 1) + " in a fresh parent");
    auto window = windowFor(plugin);
    openIn(plugin, *window, "in fresh parent " + std::to_string(cycle + 1));
    repaint(plugin, *window);
    closeEditor(plugin, *window);
  }
  faults.require("in the editor's window procedure");
  return std::to_string(cycles) + " " + cycleText +
         " cycles, each in a new host window destroyed after it";
}

std::string openTwice(Context& context) {
  EditorFaultWatch faults;
  EditorSubject subject(context);
  Plugin& plugin = *subject.plugin;
  auto window = windowFor(plugin);
  plugin.openEditor(window->parent());
  openIn(plugin, *window, "a second time without a close");
  repaint(plugin, *window);
  closeEditor(plugin, *window);
  auto another = windowFor(plugin);
  openIn(plugin, *another, "after the double open and a close");
  repaint(plugin, *another);
  closeEditor(plugin, *another);
  faults.require("in the editor's window procedure");
  return std::string(subject.words().editorOpen) +
         " twice, then close: the editor shows, and opens and closes normally after it";
}

std::string whileProcessing(Context& context) {
  EditorFaultWatch faults;
  EditorSubject subject(context, 256);
  Plugin& plugin = *subject.plugin;
  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0};
  std::atomic<bool> failed{false};
  std::string problem;  // written by the audio thread before it sets `failed`
  std::thread audio([&] {
    try {
      const Channels input =
          makeSignal(Signal::music, std::max(plugin.inputCount(), 1), 256, 44100.0, 3);
      BlockRunner runner(plugin, 256, {plugin.preferredMode(), false});
      Channels output = silence(plugin.outputCount(), 256);
      while (!stop.load()) {
        runner.run(input, output, 0, 256);
        ++blocks;
        if (auto bad = firstNonFinite(output)) {
          problem = *bad;
          failed = true;
          return;
        }
      }
    } catch (const std::exception& e) {
      problem = e.what();
      failed = true;
    }
  });
  const int cycles = context.scaled(3, 20);
  try {
    for (int cycle = 0; cycle < cycles && !failed.load(); ++cycle) {
      auto window = windowFor(plugin);
      openIn(plugin, *window, "while another thread processes");
      for (int i = 0; i < 5; ++i) {
        if (plugin.parameterCount() > 0) {
          plugin.setParameter(0, static_cast<float>(i) / 5.0f);
        }
        idle(plugin, *window);
      }
      repaint(plugin, *window);
      closeEditor(plugin, *window);
    }
  } catch (...) {
    stop = true;
    audio.join();
    throw;
  }
  stop = true;
  audio.join();
  require(!failed.load(), "audio thread: " + problem);
  faults.require("in the editor's window procedure");
  return std::to_string(cycles) + " open/idle/close cycles while another thread processed " +
         std::to_string(blocks.load()) + " blocks: output finite";
}

std::string twoInstances(Context& context) {
  EditorFaultWatch faults;
  PluginSource source(context.plugin());
  const std::unique_ptr<Plugin> a = source.open();
  requireEditor(*a);
  const std::unique_ptr<Plugin> b = source.open();
  for (Plugin* plugin : {a.get(), b.get()}) {
    plugin->setup(44100.0, 512);
    plugin->setActive(true);
  }
  auto windowA = windowFor(*a);
  auto windowB = windowFor(*b);
  openIn(*a, *windowA, "of the first instance");
  openIn(*b, *windowB, "of the second instance while the first's is open");
  if (a->parameterCount() > 0) {
    a->setParameter(0, 0.9f);
    b->setParameter(0, 0.1f);
  }
  for (int i = 0; i < 3; ++i) {
    idle(*a, *windowA);
    idle(*b, *windowB);
  }
  repaint(*a, *windowA);
  repaint(*b, *windowB);
  closeEditor(*a, *windowA);
  idle(*b, *windowB);
  repaint(*b, *windowB);
  require(windowB->childCount() > 0, "closing the first panel took the second one's away");
  closeEditor(*b, *windowB);
  faults.require("in the editor's window procedure");
  return std::string("two instances' panels open at once in two host windows, idled and ") +
         kWindowSystemWords.painted + "; the second kept working after the first closed";
}

// The plug-in's end with its panel open: for VST 2, effClose with no effEditClose before it;
// other formats' hosts close what their interface asks them to on the way.
std::string closedWhileOpen(Context& context) {
  EditorFaultWatch faults;
  EditorSubject subject(context);
  const std::string closed = subject.words().pluginClosed;
  auto window = windowFor(*subject.plugin);
  openIn(*subject.plugin, *window, "before the effect is closed");
  repaint(*subject.plugin, *window);
  context.trace(closed + " with the panel open");
  subject.plugin.reset();
  window->pump();
  const int left = window->childCount();
  context.trace(std::string(kWindowSystemWords.inputAfterClose) + " after " + closed);
  window->inputAfterClose();
  context.trace("the host window destroyed after " + closed);
  window.reset();  // destroys whatever the editor left behind
  if (left > 0) {
    context.note(closed + " left " + std::to_string(left) +
                 " editor window(s) in the host's window");
  }
  faults.require("in the editor's window procedure");
  return closed + " with the panel open, then " + kWindowSystemWords.inputSent +
         ", then the host window destroyed: no crash";
}

std::string reloadLibrary(Context& context) {
  EditorFaultWatch faults;
  const int loads = context.scaled(2, 5);
  bool stayedLoaded = false;
  for (int load = 0; load < loads; ++load) {
    context.trace("load " + std::to_string(load + 1) + ", panel open and close, unload");
    {
      EditorSubject subject(context);
      Plugin& plugin = *subject.plugin;
      auto window = windowFor(plugin);
      openIn(plugin, *window, "after " + std::to_string(load) + " unloads of the library");
      repaint(plugin, *window);
      closeEditor(plugin, *window);
      window.reset();
      subject.plugin.reset();
    }
    stayedLoaded = stayedLoaded || libraryStillLoaded(context.plugin());
  }
  if (stayedLoaded) {
    context.note(std::string("the library stayed loaded after ") + kWindowSystemWords.unload +
                 " (something else holds it)");
  }
  faults.require("in the editor's window procedure");
  return std::to_string(loads) + " times: load, open the panel, close it and the effect, " +
         kWindowSystemWords.unload + "; the panel opened again after every reload";
}

// Points spread over the editor's rectangle, in the window's pixels: a grid's centres, then a
// few anywhere. A press on most panels' controls makes them report the change to the host.
std::vector<std::pair<int, int>> pointsOver(Context& context, int width, int height) {
  std::vector<std::pair<int, int>> points;
  const int columns = context.scaled(3, 6);
  const int rows = context.scaled(4, 8);
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      points.emplace_back(width * (2 * column + 1) / (2 * columns),
                          height * (2 * row + 1) / (2 * rows));
    }
  }
  for (int i = context.scaled(2, 12); i > 0; --i) {
    points.emplace_back(static_cast<int>(context.rng().range(1, width - 2)),
                        static_cast<int>(context.rng().range(1, height - 2)));
  }
  return points;
}

// Hosts close an editor when the user asks, and the request may come in while the editor is
// telling the host about a change (a host that pumps its message loop inside the automation
// callback, or that closes a plug-in window on a parameter's change): the editor's handler must
// still be safe when it returns into a panel that is gone. The reaction hangs on VST 2's
// automation callback.
std::string closedInsideAutomation(Context& context) {
  EditorFaultWatch faults;
  EditorSubject subject(context);
  Plugin& plugin = *subject.plugin;
  Effect& effect = *vst2Effect(plugin);
  const EditorRect size = askRect(effect, "before the editor opens");
  const int width = std::max(size.right - size.left, 8);
  const int height = std::max(size.bottom - size.top, 8);
  int closes = 0;
  int destroys = 0;
  int quiet = 0;
  for (const auto& [x, y] : pointsOver(context, width, height)) {
    const bool destroyWindow = (closes + destroys) % 2 == 1;
    auto window = windowFor(plugin);
    openIn(plugin, *window, "before a press at " + std::to_string(x) + "," + std::to_string(y));
    context.trace("a press at " + std::to_string(x) + "," + std::to_string(y) +
                  (destroyWindow ? "; the host destroys its window inside the automation report"
                                 : "; the host closes the editor inside the automation report"));
    EditorHostWindow& host = *window;
    AutomationReaction reaction(effect.get(), [&effect, &host, destroyWindow] {
      if (destroyWindow) {
        host.destroy();
      } else {
        effect.dispatch(effEditClose);
      }
    });
    window->press(x, y);
    if (EditorHostWindow::paintsInIdle()) {
      effect.dispatch(effEditIdle);  // where the editor takes the press
    }
    window->pump();
    if (!reaction.ran()) {
      ++quiet;
      closeEditor(plugin, *window);
      continue;
    }
    (destroyWindow ? destroys : closes) += 1;
    // The host carries on as hosts do: idles, changes, and the close it owes (twice, for the
    // closed editor).
    for (int i = 0; i < 3; ++i) {
      if (effect->numParams > 0) {
        effect.setParameter(0, static_cast<float>(i) / 3.0f);
      }
      effect.dispatch(effEditIdle);
      window->pump();
    }
    effect.dispatch(effEditClose);
    window->pump();
  }
  faults.require("in the editor's window procedure");
  if (closes + destroys == 0) {
    throw Skipped("no press at " + std::to_string(quiet) +
                  " points of the editor made the plug-in report automation");
  }
  // And the editor still opens after all that.
  OpenEditor again(plugin);
  again.idle();
  return std::to_string(closes + destroys) +
         " presses reported automation, and the host took "
         "the editor away inside the report (" +
         std::to_string(closes) + " effEditClose, " + std::to_string(destroys) +
         " host window destroyed); " + std::to_string(quiet) +
         " presses reported nothing; no crash, and the editor opened again after";
}

}  // namespace

OpenEditor::OpenEditor(Plugin& plugin) : plugin_(plugin), window_(windowFor(plugin)) {
  openIn(plugin, *window_, "in a host window");
}

OpenEditor::~OpenEditor() {
  plugin_.closeEditor();
  window_->pump();
}

void OpenEditor::idle() {
  validate::idle(plugin_, *window_);
}

std::vector<Check> editorChecks() {
  constexpr unsigned kVst2 = kVst2Plugins;
  constexpr CheckKind kCheck = CheckKind::check;
  return {
      // These three do what they can without a window, and open one where they can.
      {"editor", "rect", rect, kNeedsNothing, kCheck, kVst2},
      {"editor", "idle_before_open", idleBeforeOpen},
      {"editor", "close_without_open", closeWithoutOpen},
      {"editor", "open_close_same_parent", sameParent, kNeedsHostWindow},
      {"editor", "open_close_fresh_parents", freshParents, kNeedsHostWindow},
      {"editor", "open_twice", openTwice, kNeedsHostWindow},
      {"editor", "open_while_processing", whileProcessing, kNeedsHostWindow},
      {"editor", "two_instances", twoInstances, kNeedsHostWindow},
      {"editor", "effect_closed_while_open", closedWhileOpen, kNeedsHostWindow},
      {"editor", "reload_library", reloadLibrary, kNeedsHostWindow, kCheck, kVst2},
      {"editor", "closed_inside_automation", closedInsideAutomation, kNeedsHostWindow, kCheck,
       kVst2},
  };
}

}  // namespace plughost::validate
