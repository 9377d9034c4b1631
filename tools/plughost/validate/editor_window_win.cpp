// Editor host windows of Win32: child windows counted and listed through EnumChildWindows,
// paints forced through RedrawWindow, faults hidden by the message dispatch caught first-chance.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "tools/plughost/host_window_win.h"
#include "tools/plughost/validate/check.h"
#include "tools/plughost/validate/editor_window.h"

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

std::atomic<long> faultCount{0};
std::atomic<DWORD> firstFault{0};

LONG CALLBACK onException(EXCEPTION_POINTERS* info) {
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  if (code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_ILLEGAL_INSTRUCTION ||
      code == EXCEPTION_INT_DIVIDE_BY_ZERO || code == EXCEPTION_STACK_OVERFLOW ||
      code == EXCEPTION_PRIV_INSTRUCTION) {
    if (faultCount.fetch_add(1) == 0) {
      firstFault = code;
    }
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

const WindowSystemWords kWindowSystemWords = {
    "paint", "painted", "paint and mouse messages",
    "paint and mouse messages to the host window and what the editor left in it", "FreeLibrary"};

struct EditorHostWindow::Native {
  std::unique_ptr<HostWindow> window;
};

std::string EditorHostWindow::whyNoWindows() {
  return {};
}

std::unique_ptr<EditorHostWindow> EditorHostWindow::make(int width, int height) {
  auto window = std::make_unique<EditorHostWindow>();
  window->native_->window = std::make_unique<HostWindow>(width, height);
  return window;
}

EditorHostWindow::EditorHostWindow() : native_(std::make_unique<Native>()) {}
EditorHostWindow::~EditorHostWindow() = default;

void* EditorHostWindow::parent() const {
  return native_->window->handle();
}

void EditorHostWindow::pump() {
  native_->window->pump();
}

int EditorHostWindow::childCount() {
  int count = 0;
  EnumChildWindows(native_->window->handle(), countWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

void EditorHostWindow::invalidate() {
  // Painted now, through the editor's own paint handling.
  RedrawWindow(native_->window->handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

bool EditorHostWindow::paintsInIdle() {
  return false;
}

void EditorHostWindow::press(int x, int y) {
  HostWindow& host = *native_->window;
  if (host.handle() == nullptr) {
    return;
  }
  // The message goes straight to the window under the point, with the cursor put there first
  // for editors that ask where it is; a warp of its own would queue a move without the button.
  POINT client{x, y};
  HWND target = host.handle();
  for (HWND child = ChildWindowFromPoint(target, client); child != nullptr && child != target;
       child = ChildWindowFromPoint(target, client)) {
    MapWindowPoints(target, child, &client, 1);
    target = child;
  }
  const POINT screen = host.clientToScreen({x, y});
  SetCursorPos(screen.x, screen.y);
  const LPARAM at = MAKELPARAM(client.x, client.y);
  SendMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
  // The host may have answered the press by destroying the window.
  if (IsWindow(target) != FALSE) {
    SendMessageA(target, WM_LBUTTONUP, 0, at);
    SendMessageA(target, WM_MOUSEMOVE, 0, at);
  }
}

void EditorHostWindow::destroy() {
  native_->window->destroy();
}

void EditorHostWindow::inputAfterClose() {
  // The host's window goes on receiving messages, and passes some to whatever the editor left.
  invalidate();
  pump();
  ChildList children;
  EnumChildWindows(native_->window->handle(), listWindow, reinterpret_cast<LPARAM>(&children));
  for (int i = 0; i < children.count; ++i) {
    const LPARAM middle = MAKELPARAM(20, 20);
    SendMessageA(children.windows[i], WM_MOUSEMOVE, 0, middle);
    SendMessageA(children.windows[i], WM_LBUTTONDOWN, MK_LBUTTON, middle);
    SendMessageA(children.windows[i], WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(30, 10));
    SendMessageA(children.windows[i], WM_LBUTTONUP, 0, middle);
  }
  pump();
}

bool libraryStillLoaded(const std::filesystem::path& library) {
  return GetModuleHandleW(std::filesystem::absolute(library).wstring().c_str()) != nullptr;
}

// Exceptions raised while the editor's window procedure runs can be swallowed by the system's
// message dispatch (Windows does so for some callbacks; Wine for window procedures), so a crash
// there does not end the process. A first-chance handler sees them all the same.
EditorFaultWatch::EditorFaultWatch() : handler_(AddVectoredExceptionHandler(1, onException)) {
  faultCount = 0;
  firstFault = 0;
}

EditorFaultWatch::~EditorFaultWatch() {
  RemoveVectoredExceptionHandler(handler_);
}

void EditorFaultWatch::require(const std::string& when) const {
  const long count = faultCount.load();
  if (count > 0) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(firstFault.load()));
    throw Failure(std::to_string(count) + " fault(s) (first: exception " + code + ") " + when +
                  ", caught and hidden by the system's message dispatch");
  }
}

}  // namespace plughost::validate
