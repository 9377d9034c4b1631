// Editor checks in real host windows: open and close in one parent and in fresh ones, the odd
// orders (twice, while processing, two panels, the effect closed under an open panel), and the
// library unloaded and loaded again.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

#include "tools/plughost/host_window_win.h"
#include "tools/plughost/validate/comparisons.h"
#include "tools/plughost/validate/editor_window.h"
#include "tools/plughost/validate/guarded_buffers.h"
#include "tools/plughost/validate/signals.h"

namespace plughost::validate {
namespace {

BOOL CALLBACK countWindow(HWND, LPARAM counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

struct ChildList {
  HWND windows[64];
  int count = 0;
};

BOOL CALLBACK listWindow(HWND child, LPARAM list) {
  auto* children = reinterpret_cast<ChildList*>(list);
  if (children->count < 64) {
    children->windows[children->count++] = child;
  }
  return TRUE;
}

int childCount(HWND parent) {
  int count = 0;
  EnumChildWindows(parent, countWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

// Everything in the window painted now, through the editor's own paint handling.
void repaint(HostWindow& window) {
  RedrawWindow(window.handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  window.pump();
}

EditorRect rectOf(Effect& effect) {
  EditorRect* rect = nullptr;
  effect.dispatch(effEditGetRect, 0, 0, &rect);
  if (rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top) {
    return {0, 0, 300, 400};
  }
  return *rect;
}

std::unique_ptr<HostWindow> windowFor(Effect& effect) {
  const EditorRect rect = rectOf(effect);
  return std::make_unique<HostWindow>(rect.right - rect.left, rect.bottom - rect.top);
}

// Opens the editor in `window`; fails when that leaves no window of the editor's in it.
void openIn(Effect& effect, HostWindow& window, const std::string& when) {
  const VstIntPtr answer = effect.dispatch(effEditOpen, 0, 0, window.handle());
  window.pump();
  effect.dispatch(effEditIdle);
  window.pump();
  require(childCount(window.handle()) > 0, "effEditOpen " + when + " (answer " +
                                               std::to_string(answer) +
                                               ") left no editor window in the host's window");
}

// Exceptions raised while the editor's window procedure runs can be swallowed by the system's
// message dispatch (Windows does so for some callbacks; Wine for window procedures), so a crash
// there does not end the process. A first-chance handler sees them all the same.
class SwallowedFaults {
 public:
  SwallowedFaults() : handler_(AddVectoredExceptionHandler(1, onException)) {
    count_ = 0;
    first_ = 0;
  }
  ~SwallowedFaults() { RemoveVectoredExceptionHandler(handler_); }
  SwallowedFaults(const SwallowedFaults&) = delete;
  SwallowedFaults& operator=(const SwallowedFaults&) = delete;

  // Fails when an access violation or the like happened, handled by whatever caught it.
  void require(const std::string& when) const {
    const long count = count_.load();
    if (count > 0) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(first_.load()));
      throw Failure(std::to_string(count) + " fault(s) (first: exception " + code + ") " + when +
                    ", caught and hidden by the system's message dispatch");
    }
  }

 private:
  static LONG CALLBACK onException(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_ILLEGAL_INSTRUCTION ||
        code == EXCEPTION_INT_DIVIDE_BY_ZERO || code == EXCEPTION_STACK_OVERFLOW ||
        code == EXCEPTION_PRIV_INSTRUCTION) {
      if (count_.fetch_add(1) == 0) {
        first_ = code;
      }
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }

  static std::atomic<long> count_;
  static std::atomic<DWORD> first_;
  PVOID handler_;
};

std::atomic<long> SwallowedFaults::count_{0};
std::atomic<DWORD> SwallowedFaults::first_{0};

void requireEditor(const Effect& effect) {
  if ((effect->flags & effFlagsHasEditor) == 0) {
    throw Skipped("the plug-in has no editor");
  }
}

std::string sameParent(Context& context) {
  SwallowedFaults faults;
  PluginLibrary library(context.plugin());
  Effect effect(library);
  requireEditor(effect);
  effect.start();
  auto window = windowFor(effect);
  const int cycles = context.scaled(5, 50);
  int leftOver = 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    context.trace("open/idle/paint/close " + std::to_string(cycle + 1) + " in the same parent");
    const int before = childCount(window->handle());
    effect.dispatch(effEditOpen, 0, 0, window->handle());
    window->pump();
    for (int i = 0; i < 3; ++i) {
      effect.dispatch(effEditIdle);
      window->pump();
    }
    requireThat(childCount(window->handle()) > before, [&] {
      return "open " + std::to_string(cycle + 1) + " in the same parent made no new window";
    });
    repaint(*window);
    effect.dispatch(effEditClose);
    window->pump();
    leftOver = childCount(window->handle());
  }
  if (leftOver > 0) {
    context.note(std::to_string(leftOver) + " windows left in the parent after " +
                 std::to_string(cycles) + " closes");
  }
  faults.require("in the editor's window procedure");
  return std::to_string(cycles) +
         " open/idle/paint/close cycles in the same parent: a window each time, no crash";
}

std::string freshParents(Context& context) {
  SwallowedFaults faults;
  PluginLibrary library(context.plugin());
  Effect effect(library);
  requireEditor(effect);
  effect.start();
  const int cycles = context.scaled(5, 50);
  for (int cycle = 0; cycle < cycles; ++cycle) {
    context.trace("open/idle/paint/close " + std::to_string(cycle + 1) + " in a fresh parent");
    auto window = windowFor(effect);
    openIn(effect, *window, "in fresh parent " + std::to_string(cycle + 1));
    effect.dispatch(effEditIdle);
    repaint(*window);
    effect.dispatch(effEditClose);
    window->pump();
  }
  faults.require("in the editor's window procedure");
  return std::to_string(cycles) +
         " open/idle/paint/close cycles, each in a new host window destroyed after it";
}

std::string openTwice(Context& context) {
  SwallowedFaults faults;
  PluginLibrary library(context.plugin());
  Effect effect(library);
  requireEditor(effect);
  effect.start();
  auto window = windowFor(effect);
  effect.dispatch(effEditOpen, 0, 0, window->handle());
  openIn(effect, *window, "a second time without a close");
  repaint(*window);
  effect.dispatch(effEditClose);
  window->pump();
  auto another = windowFor(effect);
  openIn(effect, *another, "after the double open and a close");
  repaint(*another);
  effect.dispatch(effEditClose);
  another->pump();
  faults.require("in the editor's window procedure");
  return "effEditOpen twice, then close: the editor shows, and opens and closes normally after it";
}

std::string whileProcessing(Context& context) {
  SwallowedFaults faults;
  PluginLibrary library(context.plugin());
  Effect effect(library);
  requireEditor(effect);
  effect.start(44100.0, 256);
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
        effect.dispatch(effEditIdle);
        window->pump();
      }
      repaint(*window);
      effect.dispatch(effEditClose);
      window->pump();
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
  SwallowedFaults faults;
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
    a.dispatch(effEditIdle);
    b.dispatch(effEditIdle);
    windowA->pump();
  }
  repaint(*windowA);
  repaint(*windowB);
  a.dispatch(effEditClose);
  windowA->pump();
  b.dispatch(effEditIdle);
  repaint(*windowB);
  require(childCount(windowB->handle()) > 0, "closing the first panel took the second one's away");
  b.dispatch(effEditClose);
  windowB->pump();
  faults.require("in the editor's window procedure");
  return "two instances' panels open at once in two host windows, idled and painted; the second "
         "kept working after the first closed";
}

std::string closedWhileOpen(Context& context) {
  SwallowedFaults faults;
  PluginLibrary library(context.plugin());
  auto effect = std::make_unique<Effect>(library);
  requireEditor(*effect);
  effect->start();
  auto window = windowFor(*effect);
  openIn(*effect, *window, "before the effect is closed");
  repaint(*window);
  context.trace("effClose with the panel open");
  effect->close();  // effClose with the panel still open
  window->pump();
  context.trace("paint and mouse messages after effClose");
  const int left = childCount(window->handle());
  // The host's window goes on receiving messages, and passes some to whatever the editor left.
  repaint(*window);
  ChildList children;
  EnumChildWindows(window->handle(), listWindow, reinterpret_cast<LPARAM>(&children));
  for (int i = 0; i < children.count; ++i) {
    const LPARAM middle = MAKELPARAM(20, 20);
    SendMessageA(children.windows[i], WM_MOUSEMOVE, 0, middle);
    SendMessageA(children.windows[i], WM_LBUTTONDOWN, MK_LBUTTON, middle);
    SendMessageA(children.windows[i], WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(30, 10));
    SendMessageA(children.windows[i], WM_LBUTTONUP, 0, middle);
  }
  window->pump();
  context.trace("the host window destroyed after effClose");
  window.reset();  // destroys whatever the editor left behind
  if (left > 0) {
    context.note("effClose left " + std::to_string(left) +
                 " editor window(s) in the host's window");
  }
  faults.require("in the editor's window procedure");
  return "effClose with the panel open, then paint and mouse messages to the host window and what "
         "the editor left in it, then the host window destroyed: no crash";
}

std::string reloadLibrary(Context& context) {
  SwallowedFaults faults;
  const int loads = context.scaled(2, 5);
  bool stayedLoaded = false;
  for (int load = 0; load < loads; ++load) {
    context.trace("load " + std::to_string(load + 1) + ", panel open and close, unload");
    {
      PluginLibrary library(context.plugin());
      Effect effect(library);
      requireEditor(effect);
      effect.start();
      auto window = windowFor(effect);
      openIn(effect, *window, "after " + std::to_string(load) + " unloads of the library");
      repaint(*window);
      effect.dispatch(effEditClose);
      window->pump();
      window.reset();
      effect.close();
    }
    stayedLoaded =
        stayedLoaded ||
        GetModuleHandleW(std::filesystem::absolute(context.plugin()).wstring().c_str()) != nullptr;
  }
  if (stayedLoaded) {
    context.note("the library stayed loaded after FreeLibrary (something else holds it)");
  }
  faults.require("in the editor's window procedure");
  return std::to_string(loads) +
         " times: load, open the panel, close it and the effect, "
         "FreeLibrary; the panel opened again after every reload";
}

}  // namespace

struct EditorWindow::Parts {
  Effect& effect;
  std::unique_ptr<HostWindow> window;
};

bool EditorWindow::supported() {
  return true;
}

EditorWindow::EditorWindow(Effect& effect)
    : parts_(std::make_unique<Parts>(Parts{effect, windowFor(effect)})) {
  openIn(effect, *parts_->window, "in a host window");
}

EditorWindow::~EditorWindow() {
  if (parts_->effect.alive()) {
    parts_->effect.dispatch(effEditClose);
  }
  parts_->window->pump();
}

void EditorWindow::idle() {
  parts_->effect.dispatch(effEditIdle);
  parts_->window->pump();
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
