#include "host/vst3/vst3_view.h"

#include <cstring>
#include <new>

#include "editor/panel_editor.h"
#include "effect/drive_parameters.h"
#include "host/panel_stand_in.h"

namespace vst3 {

namespace {

#if defined(_WIN32)
const char* const kPlatformType = Steinberg_kPlatformTypeHWND;
#else
const char* const kPlatformType = Steinberg_kPlatformTypeX11EmbedWindowID;
// The X11 panel reads its window's events in idle: the host's run loop calls it this often.
constexpr Steinberg_Linux_TimerInterval kIdleMilliseconds = 16;
#endif

using PlugView = Steinberg_IPlugView;
using TimerHandler = Steinberg_Linux_ITimerHandler;

}  // namespace

class EditorView {
 public:
  explicit EditorView(PanelHost& host) noexcept;
  ~EditorView();
  EditorView(const EditorView&) = delete;
  EditorView& operator=(const EditorView&) = delete;

  bool complete() const { return editor_ != nullptr; }
  PlugView* face() { return &view_.face; }
  void show(std::int32_t index, float value) {
    effect_.setParameter(index, value);
#if defined(_WIN32)
    // The Win32 panel gets its events from the host's message loop and has no timer of its own:
    // a host's change is drawn at once.
    if (editor_->isOpen()) {
      editor_->idle();
    }
#endif
  }

  tresult queryInterface(const char* iid, void** obj) noexcept;
  Steinberg_uint32 addRef() noexcept {
    return refs_.add();
  }
  Steinberg_uint32 release() noexcept;

  tresult isPlatformTypeSupported(const char* type) noexcept {
    return type != nullptr && std::strcmp(type, kPlatformType) == 0 ? Steinberg_kResultTrue
                                                                    : Steinberg_kResultFalse;
  }
  tresult attached(void* parent, const char* type) noexcept;
  tresult removed() noexcept;
  tresult onWheel(float /*distance*/) noexcept {
    return Steinberg_kResultFalse;
  }
  tresult onKeyDown(Steinberg_char16 /*key*/, Steinberg_int16 /*code*/,
                    Steinberg_int16 /*modifiers*/) noexcept {
    return Steinberg_kResultFalse;
  }
  tresult onKeyUp(Steinberg_char16 /*key*/, Steinberg_int16 /*code*/,
                  Steinberg_int16 /*modifiers*/) noexcept {
    return Steinberg_kResultFalse;
  }
  tresult getSize(Steinberg_ViewRect* size) noexcept;
  // The bitmap panel has one size.
  tresult onSize(Steinberg_ViewRect* /*size*/) noexcept {
    return Steinberg_kResultOk;
  }
  tresult onFocus(Steinberg_TBool /*state*/) noexcept {
    return Steinberg_kResultOk;
  }
  tresult setFrame(Steinberg_IPlugFrame* frame) noexcept {
    frame_ = frame;
    return Steinberg_kResultOk;
  }
  tresult canResize() noexcept {
    return Steinberg_kResultFalse;
  }
  tresult checkSizeConstraint(Steinberg_ViewRect* rect) noexcept {
    return getSize(rect);
  }

  void onTimer() noexcept {
    if (editor_ != nullptr && editor_->isOpen()) {
      editor_->idle();
    }
  }

 private:
  Slot<PlugView, EditorView> view_;
  Slot<TimerHandler, EditorView> timer_;
  RefCount refs_;
  PanelHost& host_;
  // The controller's four values, for the panel to edit; its automation goes to the controller,
  // which tells the host.
  PanelStandIn effect_;
  PanelEditor* editor_ = nullptr;  // owned by effect_
  Steinberg_IPlugFrame* frame_ = nullptr;
  Steinberg_Linux_IRunLoop* runLoop_ = nullptr;
};

namespace {

const Steinberg_IPlugViewVtbl kViewVtbl = {
    thunk<PlugView, &EditorView::queryInterface>,
    thunk<PlugView, &EditorView::addRef>,
    thunk<PlugView, &EditorView::release>,
    thunk<PlugView, &EditorView::isPlatformTypeSupported>,
    thunk<PlugView, &EditorView::attached>,
    thunk<PlugView, &EditorView::removed>,
    thunk<PlugView, &EditorView::onWheel>,
    thunk<PlugView, &EditorView::onKeyDown>,
    thunk<PlugView, &EditorView::onKeyUp>,
    thunk<PlugView, &EditorView::getSize>,
    thunk<PlugView, &EditorView::onSize>,
    thunk<PlugView, &EditorView::onFocus>,
    thunk<PlugView, &EditorView::setFrame>,
    thunk<PlugView, &EditorView::canResize>,
    thunk<PlugView, &EditorView::checkSizeConstraint>,
};

const Steinberg_Linux_ITimerHandlerVtbl kTimerVtbl = {
    thunk<TimerHandler, &EditorView::queryInterface>,
    thunk<TimerHandler, &EditorView::addRef>,
    thunk<TimerHandler, &EditorView::release>,
    thunk<TimerHandler, &EditorView::onTimer>,
};

}  // namespace

// The API's interface structs hold their vtables through non-const pointers; hosts only read them.
EditorView::EditorView(PanelHost& host) noexcept
    : view_{{const_cast<Steinberg_IPlugViewVtbl*>(&kViewVtbl)}, this},
      timer_{{const_cast<Steinberg_Linux_ITimerHandlerVtbl*>(&kTimerVtbl)}, this},
      host_(host),
      effect_(host) {
  Steinberg_FUnknown* controller = host_.hostReference();
  controller->lpVtbl->addRef(controller);
  // Set before the editor exists: the panel opens showing them, with nothing posted.
  for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
    effect_.setParameter(i, host_.panelValue(i));
  }
  editor_ = new (std::nothrow) PanelEditor(effect_, panelWindowSystem());
}

EditorView::~EditorView() {
  removed();
  host_.viewGone();
  Steinberg_FUnknown* controller = host_.hostReference();
  controller->lpVtbl->release(controller);
}

tresult EditorView::queryInterface(const char* iid, void** obj) noexcept {
  if (obj == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  void* face = nullptr;
  if (sameId(iid, Steinberg_FUnknown_iid) || sameId(iid, Steinberg_IPlugView_iid)) {
    face = &view_;
  } else if (sameId(iid, Steinberg_Linux_ITimerHandler_iid)) {
    face = &timer_;
  }
  *obj = face;
  if (face == nullptr) {
    return Steinberg_kNoInterface;
  }
  addRef();
  return Steinberg_kResultOk;
}

Steinberg_uint32 EditorView::release() noexcept {
  const Steinberg_uint32 left = refs_.release();
  if (left == 0) {
    delete this;
  }
  return left;
}

tresult EditorView::attached(void* parent, const char* type) noexcept {
  if (parent == nullptr || isPlatformTypeSupported(type) != Steinberg_kResultTrue ||
      editor_->isOpen()) {
    return Steinberg_kResultFalse;
  }
#if !defined(_WIN32)
  // Without the host's run loop nothing would ever read the window's events.
  void* loop = nullptr;
  if (frame_ == nullptr ||
      frame_->lpVtbl->queryInterface(frame_, Steinberg_Linux_IRunLoop_iid, &loop) !=
          Steinberg_kResultOk ||
      loop == nullptr) {
    return Steinberg_kResultFalse;
  }
  runLoop_ = static_cast<Steinberg_Linux_IRunLoop*>(loop);
#endif
  if (editor_->open(parent) == 0) {
    removed();
    return Steinberg_kResultFalse;
  }
#if !defined(_WIN32)
  if (runLoop_->lpVtbl->registerTimer(runLoop_, reinterpret_cast<TimerHandler*>(&timer_),
                                      kIdleMilliseconds) != Steinberg_kResultOk) {
    removed();
    return Steinberg_kResultFalse;
  }
#endif
  return Steinberg_kResultOk;
}

tresult EditorView::removed() noexcept {
  if (runLoop_ != nullptr) {
    runLoop_->lpVtbl->unregisterTimer(runLoop_, reinterpret_cast<TimerHandler*>(&timer_));
    runLoop_->lpVtbl->release(runLoop_);
    runLoop_ = nullptr;
  }
  if (editor_ != nullptr) {
    editor_->close();
  }
  return Steinberg_kResultOk;
}

tresult EditorView::getSize(Steinberg_ViewRect* size) noexcept {
  if (size == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  size->left = 0;
  size->top = 0;
  size->right = kPanelWidth;
  size->bottom = kPanelHeight;
  return Steinberg_kResultOk;
}

Steinberg_IPlugView* createEditorView(PanelHost& host, EditorView** view) noexcept {
  auto* made = new (std::nothrow) EditorView(host);
  if (made == nullptr) {
    return nullptr;
  }
  if (!made->complete()) {
    made->release();
    return nullptr;
  }
  *view = made;
  return made->face();
}

void showParameter(EditorView* view, std::int32_t index, float value) noexcept {
  view->show(index, value);
}

}  // namespace vst3
