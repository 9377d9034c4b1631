// plughost snapshot PLUGIN OUT.png [--param I=V]... [--press X,Y]... [--drag X1,Y1:X2,Y2]...
// [--right-press X,Y]... [--host-set I=V]...: opens the plug-in's editor in a host window, plays
// the pointer script on it the way a user's hand would (the real pointer moves, the editor gets
// the button messages), and saves what the editor shows as a PNG picture, at the size the
// editor has at the end. The host window follows the editor's requests for another size unless
// told to keep its own. The Windows build hosts Windows editors; the Linux build hosts X11
// editors on the display DISPLAY names, with the pointer played through XTest.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/plughost/commands.h"
#include "tools/plughost/host_error.h"
#include "tools/plughost/snapshot_script.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "tools/plughost/host_text.h"
#include "tools/plughost/output_file.h"
#include "tools/plughost/parameter_assignment.h"
#include "tools/plughost/plugin.h"
#include "tools/plughost/rgb_picture.h"

#ifdef _WIN32
#include <windows.h>

#include "tools/plughost/host_window_win.h"
#else
#include "tools/plughost/host_window_x11.h"
#endif

namespace plughost {
namespace {

struct SnapshotOptions {
  std::string plugin;
  std::string output;
  std::vector<std::string> parameters;
  std::vector<std::string> presses;
  std::vector<std::string> drags;
  std::vector<std::string> rightPresses;
  std::vector<std::string> hostSets;
  double scale = 0.0;  // 0: the host tells no scale
  bool fixedSize = false;
  int pointerGrid = 1;
  bool dpiAware = false;
};

// A parameter change the host makes while the editor is open. Hosts send any number, so
// unlike --param it is not held to 0..1: an editor must show what it gets.
struct HostChange {
  std::int32_t index;
  float value;
  std::string text;
};

HostChange parseHostChange(const std::string& text) {
  const auto bad = [&text](const std::string& why) {
    return HostError("bad --host-set '" + text + "': " + why);
  };
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) {
    throw bad("expected I=V");
  }
  char* end = nullptr;
  const std::string indexText = text.substr(0, equals);
  const long index = std::strtol(indexText.c_str(), &end, 10);
  if (end != indexText.c_str() + indexText.size() || index < 0 || index > 0x7fffffff) {
    throw bad("index '" + indexText + "' is not a parameter number");
  }
  const std::string valueText = text.substr(equals + 1);
  const double value = std::strtod(valueText.c_str(), &end);
  if (valueText.empty() || end != valueText.c_str() + valueText.size() || !std::isfinite(value)) {
    throw bad("value '" + valueText + "' is not a finite number");
  }
  return {static_cast<std::int32_t>(index), static_cast<float>(value), text};
}

// One step of the script: a pointer action, or a host change when `pointer` is empty.
struct ScriptStep {
  std::optional<PointerAction> pointer;
  HostChange change;
};

// The script's options, whose order on the command line is the order the script runs in.
struct ScriptOptions {
  const CLI::Option* press;
  const CLI::Option* drag;
  const CLI::Option* rightPress;
  const CLI::Option* hostSet;
};

// CLI11 keeps each option's values apart; its parse order tells how they interleave.
std::vector<ScriptStep> scriptInOrder(const CLI::App& command, const ScriptOptions& options,
                                      const SnapshotOptions& o) {
  std::vector<ScriptStep> script;
  std::size_t nextPress = 0;
  std::size_t nextDrag = 0;
  std::size_t nextRight = 0;
  std::size_t nextSet = 0;
  for (const CLI::Option* option : command.parse_order()) {
    if (option == options.press && nextPress < o.presses.size()) {
      script.push_back({parsePressAction(o.presses[nextPress++]), {}});
    } else if (option == options.drag && nextDrag < o.drags.size()) {
      script.push_back({parseDragAction(o.drags[nextDrag++]), {}});
    } else if (option == options.rightPress && nextRight < o.rightPresses.size()) {
      script.push_back({parseRightPressAction(o.rightPresses[nextRight++]), {}});
    } else if (option == options.hostSet && nextSet < o.hostSets.size()) {
      script.push_back({std::nullopt, parseHostChange(o.hostSets[nextSet++])});
    }
  }
  return script;
}

constexpr float kSampleRate = 44100.0f;
constexpr std::int32_t kBlockSize = 512;

void writePng(const RgbPicture& picture, AtomicOutputFile& file) {
  struct Sink {
    std::FILE* stream;
    bool ok;
  } sink{file.stream(), true};
  auto write = [](void* context, void* data, int size) {
    auto* s = static_cast<Sink*>(context);
    s->ok = s->ok && std::fwrite(data, 1, static_cast<std::size_t>(size), s->stream) ==
                         static_cast<std::size_t>(size);
  };
  const int encoded = stbi_write_png_to_func(write, &sink, picture.width, picture.height, 3,
                                             picture.rgb.data(), picture.width * 3);
  if (encoded == 0 || !sink.ok) {
    throw HostError("cannot write '" + file.target().string() + "': PNG encoding failed");
  }
}

std::string parameterList(Plugin& plugin) {
  std::string text = "parameters";
  for (int i = 0; i < plugin.parameterCount(); ++i) {
    text += ' ';
    text += std::to_string(i);
    text += '=';
    text += shortestFloatText(plugin.parameter(i));
  }
  return text;
}

// The automation reports from `first` on: all of them, or the first three and the last two of
// a long drag.
std::string automationList(const std::vector<AutomationReport>& reports, std::size_t first) {
  const std::size_t count = reports.size() - first;
  if (count == 0) {
    return "automation: none";
  }
  std::string text = "automation: " + std::to_string(count) + (count == 1 ? " report" : " reports");
  text += " (";
  for (std::size_t i = first; i < reports.size(); ++i) {
    const std::size_t n = i - first;
    if (count > 6 && n >= 3 && n < count - 2) {
      if (n == 3) {
        text += " ...";
      }
      continue;
    }
    if (n > 0) {
      text += ' ';
    }
    text += std::to_string(reports[i].index);
    text += '=';
    text += shortestFloatText(reports[i].value);
  }
  text += ')';
  return text;
}

#ifdef _WIN32

class PanelCapture {
 public:
  // What the window shows in the top-left width x height pixels of its client area, read back
  // from its own device context: editors draw there outside the paint cycle too.
  static RgbPicture capture(HWND window, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC windowDc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    RgbPicture picture{width, height, {}};
    if (memoryDc != nullptr && section != nullptr && bits != nullptr) {
      HGDIOBJ previous = SelectObject(memoryDc, section);
      copied = BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY) != 0;
      GdiFlush();
      // 0x00RRGGBB in memory order B, G, R, 0.
      const auto* source = static_cast<const std::uint8_t*>(bits);
      const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
      picture.rgb.resize(count * 3);
      for (std::size_t i = 0; i < count; ++i) {
        picture.rgb[3 * i] = source[4 * i + 2];
        picture.rgb[3 * i + 1] = source[4 * i + 1];
        picture.rgb[3 * i + 2] = source[4 * i];
      }
      SelectObject(memoryDc, previous);
    }
    if (section != nullptr) {
      DeleteObject(section);
    }
    if (memoryDc != nullptr) {
      DeleteDC(memoryDc);
    }
    ReleaseDC(window, windowDc);
    if (!copied) {
      throw HostError("cannot read the editor window's pixels (Windows error " +
                      std::to_string(GetLastError()) + ")");
    }
    return picture;
  }
};

// What the scripted hand and the capture work on: the editor's own window, the top child of
// the frame it was given; null when it made none.
using EditorView = HWND;

EditorView editorIn(HostWindow& host) {
  return GetWindow(host.handle(), GW_CHILD);
}

void* parentOf(HostWindow& host) {
  return host.handle();
}

// The scripted hand: the real pointer goes where the script says, and the window under the
// pointer at the press gets the button messages, as if it had captured the mouse, for the
// whole action. Messages are sent, not posted, and nothing is pumped within an action: each
// SetCursorPos queues a move of the system's own without the button, which would end a drag
// the moment it was dispatched.
class ScriptedPointer {
 public:
  ScriptedPointer(HWND editor, int grid) : editor_(editor), grid_(grid) {}

  void perform(const PointerAction& action) {
    HWND target = windowAt(action.from);
    put(action.from);
    if (action.kind == PointerActionKind::rightPress) {
      send(target, WM_RBUTTONDOWN, MK_RBUTTON, action.from);
      send(target, WM_RBUTTONUP, 0, action.from);
      return;
    }
    send(target, WM_LBUTTONDOWN, MK_LBUTTON, action.from);
    if (action.kind == PointerActionKind::drag) {
      for (const EditorPoint& point : dragPath(action, grid_)) {
        put(point);
        send(target, WM_MOUSEMOVE, MK_LBUTTON, point);
      }
    }
    send(target, WM_LBUTTONUP, 0, action.to);
    // A move after the release: editors that take no capture end a drag only here.
    send(target, WM_MOUSEMOVE, 0, action.to);
  }

 private:
  POINT onScreen(EditorPoint p) const {
    POINT point{p.x, p.y};
    ClientToScreen(editor_, &point);
    return point;
  }

  void put(EditorPoint p) const {
    const POINT screen = onScreen(p);
    SetCursorPos(screen.x, screen.y);
    POINT now{};
    GetCursorPos(&now);
    if (now.x != screen.x || now.y != screen.y) {
      throw HostError("cannot put the pointer on editor point " + std::to_string(p.x) + "," +
                      std::to_string(p.y) + " (screen point " + std::to_string(screen.x) + "," +
                      std::to_string(screen.y) + " is off the screen)");
    }
  }

  // The innermost visible child of the editor window under the point, as the system picks the
  // window a mouse message goes to.
  HWND windowAt(EditorPoint p) const {
    HWND window = editor_;
    POINT screen = onScreen(p);
    for (;;) {
      POINT client = screen;
      ScreenToClient(window, &client);
      HWND child = ChildWindowFromPointEx(window, client, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
      if (child == nullptr || child == window) {
        return window;
      }
      window = child;
    }
  }

  void send(HWND target, UINT message, WPARAM keys, EditorPoint p) const {
    POINT client = onScreen(p);
    ScreenToClient(target, &client);
    SendMessageA(target, message, keys,
                 MAKELPARAM(static_cast<WORD>(static_cast<SHORT>(client.x)),
                            static_cast<WORD>(static_cast<SHORT>(client.y))));
  }

  HWND editor_;
  int grid_;
};

#else  // X11

using HostWindow = X11HostWindow;

// What the scripted hand and the capture work on: the host window itself, the editor's windows
// inside it; null when the editor made none.
using EditorView = HostWindow*;

EditorView editorIn(HostWindow& host) {
  return host.childCount() > 0 ? &host : nullptr;
}

void* parentOf(HostWindow& host) {
  return host.parentPointer();
}

// The scripted hand, through XTest: the real pointer moves and the real button goes down and
// up, so the editor gets what the server makes of it (its window holds the pointer grab from
// the press to the release). The editor handles the events at its next idle, after the action.
class ScriptedPointer {
 public:
  ScriptedPointer(HostWindow* host, int grid) : host_(*host), grid_(grid) {}

  void perform(const PointerAction& action) {
    host_.pointerTo(action.from.x, action.from.y);
    if (action.kind == PointerActionKind::rightPress) {
      host_.rightButton(true);
      host_.rightButton(false);
      return;
    }
    host_.leftButton(true);
    if (action.kind == PointerActionKind::drag) {
      for (const EditorPoint& point : dragPath(action, grid_)) {
        host_.pointerTo(point.x, point.y);
      }
    }
    host_.leftButton(false);
    // A move after the release: editors that take no capture end a drag only there. The server
    // reports no move to where the pointer already is, so it steps aside (by one block of the
    // grid, one panel pixel of a zoomed script) and back.
    host_.pointerTo(action.to.x >= grid_ ? action.to.x - grid_ : action.to.x + grid_, action.to.y);
    host_.pointerTo(action.to.x, action.to.y);
  }

 private:
  HostWindow& host_;
  int grid_;
};

struct PanelCapture {
  static RgbPicture capture(HostWindow* view, int width, int height) {
    HostWindow& host = *view;
    return host.capture(width, height);
  }
};

#endif

// The largest editor a snapshot takes: the panel at 300 %, which fits a 1280-pixel-wide screen
// and, on a screen at least as tall, the whole of it stays reachable for the pointer.
constexpr int kLargestWidth = 810;
constexpr int kLargestHeight = 1200;

struct EditorSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const EditorSize&, const EditorSize&) = default;
};

EditorSize sizeOf(const EditorRect& rect) {
  return {rect.right - rect.left, rect.bottom - rect.top};
}

std::string sizeText(EditorSize size) {
  return std::to_string(size.width) + " x " + std::to_string(size.height);
}

// While it lives, the host window follows the editor's requests for another size (up to the
// largest a snapshot takes) and says so; without one, the host refuses them.
class WindowFollowsEditor {
 public:
  WindowFollowsEditor(Plugin& plugin, HostWindow& window) : plugin_(plugin) {
    plugin_.setEditorResizer([&window](int width, int height) {
      if (width <= 0 || height <= 0 || width > kLargestWidth || height > kLargestHeight) {
        return false;
      }
      window.resize(width, height);
      return true;
    });
  }
  ~WindowFollowsEditor() { plugin_.setEditorResizer({}); }
  WindowFollowsEditor(const WindowFollowsEditor&) = delete;
  WindowFollowsEditor& operator=(const WindowFollowsEditor&) = delete;

 private:
  Plugin& plugin_;
};

// The editor between opening and closing. Declared after the host window, so the editor closes
// before the window it lives in goes.
class OpenEditor {
 public:
  OpenEditor(Plugin& plugin, HostWindow& host, const std::string& pluginName) : plugin_(plugin) {
    plugin_.openEditor(parentOf(host));
    open_ = true;
    host.pump();
    view_ = editorIn(host);
    if (view_ == nullptr) {
      close();
      throw HostError(pluginName + ": its editor opened no window in the host's window");
    }
  }
  ~OpenEditor() { close(); }
  OpenEditor(const OpenEditor&) = delete;
  OpenEditor& operator=(const OpenEditor&) = delete;

  EditorView window() const { return view_; }
  void close() {
    if (open_) {
      open_ = false;
      plugin_.closeEditor();
    }
  }

 private:
  Plugin& plugin_;
  EditorView view_ = nullptr;
  bool open_ = false;
};

// The editor's size as it answers now, held to what a snapshot can take.
EditorSize usableEditorSize(Plugin& plugin, const std::string& name) {
  const EditorSize size = sizeOf(plugin.editorRect().value_or(EditorRect{}));
  if (size.width <= 0 || size.height <= 0 || size.width > kLargestWidth ||
      size.height > kLargestHeight) {
    throw HostError(name + ": its editor has no usable size (" + sizeText(size) + ")");
  }
  return size;
}

int runSnapshot(const SnapshotOptions& o, const std::vector<ScriptStep>& script) {
#ifdef _WIN32
  if (!followDpi(o.dpiAware)) {
    throw HostError("--dpi-aware: this system lets no program follow the screens' DPI");
  }
#endif
  std::vector<ParameterAssignment> assignments;
  for (const auto& text : o.parameters) {
    assignments.push_back(parseParameterAssignment(text));
  }

  const std::unique_ptr<Plugin> plugin = openPlugin(o.plugin);
  const std::string name = "plug-in '" + o.plugin + "'";
  resolveParameterAssignments(assignments, *plugin);
  plugin->setup(kSampleRate, kBlockSize);
  for (const auto& a : assignments) {
    plugin->setParameter(a.index, a.value);
  }
  if (o.scale > 0.0) {
    plugin->setEditorScale(o.scale);
  }

  const std::optional<EditorRect> rect = plugin->editorRect();
  if (!rect) {
    throw HostError(name + " has no editor");
  }
  // An editor that gives its size only once it is open (LV2's ui:resize) gets a window large
  // enough for any panel; the window takes the editor's size once it is known.
  const EditorSize told = sizeOf(*rect);
  const bool sizeKnown = told.width > 0 || told.height > 0;
  // Actions up to the first right press are held to the opened editor's size before anything
  // runs; a right press may open a menu that changes the size, so the rest are held to the size
  // the editor has when they come.
  std::vector<PointerAction> actionsAtOpenSize;
  bool sizeMayChange = false;
  for (const ScriptStep& step : script) {
    if (step.pointer) {
      if (!sizeMayChange) {
        actionsAtOpenSize.push_back(*step.pointer);
      }
      sizeMayChange = sizeMayChange || step.pointer->kind == PointerActionKind::rightPress;
    } else if (step.change.index >= plugin->parameterCount()) {
      throw HostError("bad --host-set '" + step.change.text + "': index " +
                      std::to_string(step.change.index) + " is out of range (the plug-in has " +
                      std::to_string(plugin->parameterCount()) + " parameters)");
    }
  }

  AtomicOutputFile outFile(o.output);
  HostWindow window(sizeKnown ? told.width : kLargestWidth,
                    sizeKnown ? told.height : kLargestHeight);
  std::optional<WindowFollowsEditor> follows;
  if (!o.fixedSize) {
    follows.emplace(*plugin, window);
  }
  OpenEditor editor(*plugin, window, name);
  EditorSize size = usableEditorSize(*plugin, name);
  // A host sizes its window to the editor's rectangle once it is open.
  if (size != EditorSize{window.width(), window.height()}) {
    window.resize(size.width, size.height);
  }
  checkActionBounds(actionsAtOpenSize, size.width, size.height);
  plugin->idleEditor();
  window.pump();
  std::printf("opened the editor, %s pixels: %s\n", sizeText(size).c_str(),
              parameterList(*plugin).c_str());

  ScriptedPointer pointer(editor.window(), o.pointerGrid);
  for (const ScriptStep& step : script) {
    const std::size_t reportsBefore = plugin->automation().size();
    if (step.pointer) {
      checkActionBounds({*step.pointer}, size.width, size.height);
      pointer.perform(*step.pointer);
    } else {
      plugin->setParameter(step.change.index, step.change.value);
    }
    // Between whole steps the host runs as usual: queued messages, then editor idle.
    window.pump();
    plugin->idleEditor();
    window.pump();
    const std::string what =
        step.pointer ? describeAction(*step.pointer) : "host sets " + step.change.text;
    std::printf("%s: %s; %s\n", what.c_str(), parameterList(*plugin).c_str(),
                automationList(plugin->automation(), reportsBefore).c_str());
    const EditorSize now = usableEditorSize(*plugin, name);
    if (now != size) {
      std::printf("the editor is now %s pixels (it was %s)\n", sizeText(now).c_str(),
                  sizeText(size).c_str());
      size = now;
    }
  }

  // The window must hold what the editor says it shows: a host that refused a size keeps its
  // own, and an editor that took another one anyway is cut off.
  if (size.width > window.width() || size.height > window.height()) {
    throw HostError(name + ": its editor is " + sizeText(size) + " pixels, larger than the " +
                    sizeText({window.width(), window.height()}) +
                    " the host window kept (it refused the editor's request for that size)");
  }
  const RgbPicture picture = PanelCapture::capture(editor.window(), size.width, size.height);
  editor.close();
  writePng(picture, outFile);
  outFile.commit();
  std::printf("wrote %s: %s pixels\n", o.output.c_str(), sizeText(size).c_str());
  return 0;
}

}  // namespace

CommandRun defineSnapshotCommand(CLI::App& command) {
  auto o = std::make_shared<SnapshotOptions>();
  command
      .add_option("PLUGIN", o->plugin,
                  "the plug-in: a VST 2 library (.dll or .so), a VST 3 bundle or module "
                  "(.vst3), or an LV2 plug-in URI or bundle folder")
      ->required();
  command.add_option("OUT.png", o->output, "the picture of the editor to write")->required();
  command
      .add_option("--param", o->parameters, "set parameter INDEX to VALUE (0..1) before opening")
      ->type_name("I=V")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  ScriptOptions script{};
  script.press =
      command
          .add_option("--press", o->presses,
                      "press the left button at window pixel X,Y and release it (in order with "
                      "--drag, --right-press and --host-set)")
          ->type_name("X,Y")
          ->expected(1)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  script.drag =
      command
          .add_option("--drag", o->drags,
                      "press at X1,Y1, move with the button held to X2,Y2 and release there")
          ->type_name("X1,Y1:X2,Y2")
          ->expected(1)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  script.rightPress = command
                          .add_option("--right-press", o->rightPresses,
                                      "press the right button at window pixel X,Y and release it")
                          ->type_name("X,Y")
                          ->expected(1)
                          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  script.hostSet =
      command
          .add_option("--host-set", o->hostSets,
                      "with the editor open, the host sets parameter INDEX to VALUE (any finite "
                      "number; in order with the pointer actions)")
          ->type_name("I=V")
          ->expected(1)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command
      .add_option("--scale", o->scale,
                  "the host's scale for its editors, told before opening (1.5 is 150 %): VST 3's "
                  "content scale, LV2's ui:scaleFactor; VST 2 has none and ignores it")
      ->type_name("F")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            char* end = nullptr;
            const double factor = std::strtod(text.c_str(), &end);
            const bool number = !text.empty() && end == text.c_str() + text.size();
            return number && std::isfinite(factor) && factor > 0.0
                       ? std::string()
                       : "'" + text + "' is not a factor above 0 (1.5 is 150 %)";
          },
          "F > 0"));
  command.add_flag("--fixed-size", o->fixedSize,
                   "the host window keeps its size: the editor's requests for another one are "
                   "refused");
  command
      .add_option("--pointer-grid", o->pointerGrid,
                  "drags move over blocks of K x K window pixels, as over a panel shown at K "
                  "times its size: a script multiplied into such a window (x * K + K / 2) "
                  "passes over the same panel pixels")
      ->type_name("K")
      ->check(CLI::Range(1, 16));
#ifdef _WIN32
  command.add_flag("--dpi-aware", o->dpiAware,
                   "run DPI-aware (per monitor where the system can): windows are told the "
                   "screen's DPI and are not scaled by the system; without it plughost is a "
                   "DPI-unaware host, told 96");
#endif
  CLI::App* app = &command;
  return [o, app, script] { return runSnapshot(*o, scriptInOrder(*app, script, *o)); };
}

}  // namespace plughost
