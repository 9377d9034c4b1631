// Editor checks in real X11 host windows on the display DISPLAY names: open and close in one
// parent and in fresh ones, the odd orders (twice, while processing, two panels, the effect
// closed under an open panel), and the library unloaded and loaded again. A crash is caught by
// the check's own child process.
#include <xcb/xcb.h>

#include <atomic>
#include <memory>
#include <thread>

#include "tools/plughost/host_error.h"
#include "tools/plughost/host_window_x11.h"
#include "tools/plughost/validate/comparisons.h"
#include "tools/plughost/validate/editor_window.h"
#include "tools/plughost/validate/guarded_buffers.h"
#include "tools/plughost/validate/signals.h"

namespace plughost::validate {
namespace {

EditorRect rectOf(Effect& effect) {
  EditorRect* rect = nullptr;
  effect.dispatch(effEditGetRect, 0, 0, &rect);
  if (rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top) {
    return {0, 0, 300, 400};
  }
  return *rect;
}

std::unique_ptr<X11HostWindow> windowFor(Effect& effect) {
  const EditorRect rect = rectOf(effect);
  try {
    return std::make_unique<X11HostWindow>(rect.right - rect.left, rect.bottom - rect.top);
  } catch (const HostError& e) {
    throw Skipped(std::string("needs an X display: ") + e.what());
  }
}

// Idle, and everything the editor sent reached the server.
void idle(Effect& effect, X11HostWindow& window) {
  effect.dispatch(effEditIdle);
  window.sync();
}

// Expose, then the idle in which an X11 editor handles it.
void repaint(Effect& effect, X11HostWindow& window) {
  window.exposeChildren();
  idle(effect, window);
}

// Opens the editor in `window`; fails when that leaves no window of the editor's in it.
void openIn(Effect& effect, X11HostWindow& window, const std::string& when) {
  const VstIntPtr answer = effect.dispatch(effEditOpen, 0, 0, window.parentPointer());
  window.sync();
  idle(effect, window);
  require(window.childCount() > 0, "effEditOpen " + when + " (answer " + std::to_string(answer) +
                                       ") left no editor window in the host's window");
}

void requireEditor(const Effect& effect) {
  if ((effect->flags & effFlagsHasEditor) == 0) {
    throw Skipped("the plug-in has no editor");
  }
}

std::string sameParent(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  requireEditor(effect);
  effect.start();
  auto window = windowFor(effect);
  const int cycles = context.scaled(5, 50);
  int leftOver = 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    context.trace("open/idle/expose/close " + std::to_string(cycle + 1) + " in the same parent");
    const int before = window->childCount();
    effect.dispatch(effEditOpen, 0, 0, window->parentPointer());
    for (int i = 0; i < 3; ++i) {
      idle(effect, *window);
    }
    requireThat(window->childCount() > before, [&] {
      return "open " + std::to_string(cycle + 1) + " in the same parent made no new window";
    });
    repaint(effect, *window);
    effect.dispatch(effEditClose);
    window->sync();
    leftOver = window->childCount();
  }
  if (leftOver > 0) {
    context.note(std::to_string(leftOver) + " windows left in the parent after " +
                 std::to_string(cycles) + " closes");
  }
  return std::to_string(cycles) +
         " open/idle/expose/close cycles in the same parent: a window each time, no crash";
}

std::string freshParents(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  requireEditor(effect);
  effect.start();
  const int cycles = context.scaled(5, 50);
  for (int cycle = 0; cycle < cycles; ++cycle) {
    context.trace("open/idle/expose/close " + std::to_string(cycle + 1) + " in a fresh parent");
    auto window = windowFor(effect);
    openIn(effect, *window, "in fresh parent " + std::to_string(cycle + 1));
    repaint(effect, *window);
    effect.dispatch(effEditClose);
    window->sync();
  }
  return std::to_string(cycles) +
         " open/idle/expose/close cycles, each in a new host window destroyed after it";
}

std::string openTwice(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  requireEditor(effect);
  effect.start();
  auto window = windowFor(effect);
  effect.dispatch(effEditOpen, 0, 0, window->parentPointer());
  openIn(effect, *window, "a second time without a close");
  repaint(effect, *window);
  effect.dispatch(effEditClose);
  window->sync();
  auto another = windowFor(effect);
  openIn(effect, *another, "after the double open and a close");
  repaint(effect, *another);
  effect.dispatch(effEditClose);
  another->sync();
  return "effEditOpen twice, then close: the editor shows, and opens and closes normally after it";
}

std::string whileProcessing(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  requireEditor(effect);
  effect.start(44100.0, 256);
  auto probe = windowFor(effect);  // skips before the audio thread starts without a display
  probe.reset();
  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0};
  std::atomic<bool> failed{false};
  std::string problem;  // written by the audio thread before it sets `failed`
  std::thread audio([&] {
    try {
      const Channels input =
          makeSignal(Signal::music, std::max(effect.inputs(), 1), 256, 44100.0, 3);
      BlockRunner runner(effect, 256, {effect.preferredMode(), false});
      Channels output = silence(effect.outputs(), 256);
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
      auto window = windowFor(effect);
      openIn(effect, *window, "while another thread processes");
      for (int i = 0; i < 5; ++i) {
        if (effect->numParams > 0) {
          effect.setParameter(0, static_cast<float>(i) / 5.0f);
        }
        idle(effect, *window);
      }
      repaint(effect, *window);
      effect.dispatch(effEditClose);
      window->sync();
    }
  } catch (...) {
    stop = true;
    audio.join();
    throw;
  }
  stop = true;
  audio.join();
  require(!failed.load(), "audio thread: " + problem);
  return std::to_string(cycles) + " open/idle/close cycles while another thread processed " +
         std::to_string(blocks.load()) + " blocks: output finite";
}

std::string twoInstances(Context& context) {
  PluginLibrary library(context.plugin());
  Effect a(library);
  requireEditor(a);
  Effect b(library);
  a.start();
  b.start();
  auto windowA = windowFor(a);
  auto windowB = windowFor(b);
  openIn(a, *windowA, "of the first instance");
  openIn(b, *windowB, "of the second instance while the first's is open");
  if (a->numParams > 0) {
    a.setParameter(0, 0.9f);
    b.setParameter(0, 0.1f);
  }
  for (int i = 0; i < 3; ++i) {
    idle(a, *windowA);
    idle(b, *windowB);
  }
  repaint(a, *windowA);
  repaint(b, *windowB);
  a.dispatch(effEditClose);
  windowA->sync();
  repaint(b, *windowB);
  require(windowB->childCount() > 0, "closing the first panel took the second one's away");
  b.dispatch(effEditClose);
  windowB->sync();
  return "two instances' panels open at once in two host windows, idled and exposed; the second "
         "kept working after the first closed";
}

std::string closedWhileOpen(Context& context) {
  PluginLibrary library(context.plugin());
  auto effect = std::make_unique<Effect>(library);
  requireEditor(*effect);
  effect->start();
  auto window = windowFor(*effect);
  openIn(*effect, *window, "before the effect is closed");
  repaint(*effect, *window);
  context.trace("effClose with the panel open");
  effect->close();  // effClose with the panel still open
  window->sync();
  const int left = window->childCount();
  context.trace("exposes and pointer input after effClose");
  window->exposeChildren();
  window->pointerTo(20, 20);
  window->leftButton(true);
  window->pointerTo(30, 10);
  window->leftButton(false);
  context.trace("the host window destroyed after effClose");
  window.reset();
  if (left > 0) {
    context.note("effClose left " + std::to_string(left) +
                 " editor window(s) in the host's window");
  }
  return "effClose with the panel open, then exposes and pointer input in the host window, then "
         "the host window destroyed: no crash";
}

std::string reloadLibrary(Context& context) {
  const int loads = context.scaled(2, 5);
  for (int load = 0; load < loads; ++load) {
    context.trace("load " + std::to_string(load + 1) + ", panel open and close, unload");
    PluginLibrary library(context.plugin());
    Effect effect(library);
    requireEditor(effect);
    effect.start();
    auto window = windowFor(effect);
    openIn(effect, *window, "after " + std::to_string(load) + " unloads of the library");
    repaint(effect, *window);
    effect.dispatch(effEditClose);
    window->sync();
    window.reset();
    effect.close();
  }
  return std::to_string(loads) +
         " times: load, open the panel, close it and the effect, unload; the panel opened "
         "again after every reload";
}

}  // namespace

struct EditorWindow::Parts {
  Effect& effect;
  std::unique_ptr<X11HostWindow> window;
};

bool EditorWindow::supported() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool reachable = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return reachable;
}

EditorWindow::EditorWindow(Effect& effect)
    : parts_(std::make_unique<Parts>(Parts{effect, windowFor(effect)})) {
  openIn(effect, *parts_->window, "in a host window");
}

EditorWindow::~EditorWindow() {
  if (parts_->effect.alive()) {
    parts_->effect.dispatch(effEditClose);
  }
  parts_->window->sync();
}

void EditorWindow::idle() {
  parts_->effect.dispatch(effEditIdle);
  parts_->window->sync();
}

std::vector<Check> windowEditorChecks() {
  return {
      {"editor", "open_close_same_parent", sameParent},
      {"editor", "open_close_fresh_parents", freshParents},
      {"editor", "open_twice", openTwice},
      {"editor", "open_while_processing", whileProcessing},
      {"editor", "two_instances", twoInstances},
      {"editor", "effect_closed_while_open", closedWhileOpen},
      {"editor", "reload_library", reloadLibrary},
  };
}

}  // namespace plughost::validate
