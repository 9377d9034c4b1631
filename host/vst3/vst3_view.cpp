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
using ScaleSupport = Steinberg_IPlugViewContentScaleSupport;
using TimerHandler = Steinberg_Linux_ITimerHandler;

Steinberg_int32 widthOf(const Steinberg_ViewRect& rect) {
  return rect.right - rect.left;
}

Steinberg_int32 heightOf(const Steinberg_ViewRect& rect) {
  return rect.bottom - rect.top;
}

// The largest offered zoom whose panel fits in a rectangle: hosts that let the user drag the
// window's edges get the fixed aspect and the offered sizes only.
std::int32_t zoomFitting(const Steinberg_ViewRect& rect) {
  return panelZoomFitting(widthOf(rect), heightOf(rect));
}

}  // namespace

// The view is also the panel's zoom host: the panel's size requests go to the host's frame.
class EditorView final : private PanelZoomHost {
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
  void showChosen(std::int32_t zoom) {
    editor_->setChosenZoom(zoom);
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
  tresult onSize(Steinberg_ViewRect* size) noexcept;
  tresult onFocus(Steinberg_TBool /*state*/) noexcept {
    return Steinberg_kResultOk;
  }
  tresult setFrame(Steinberg_IPlugFrame* frame) noexcept {
    frame_ = frame;
    return Steinberg_kResultOk;
  }
  tresult canResize() noexcept {
    return Steinberg_kResultTrue;
  }
  tresult checkSizeConstraint(Steinberg_ViewRect* rect) noexcept;

  // The host's factor replaces the desktop's, and the panel asks for its size only when the
  // zoom changes, so a host that sends the same factor again (or scales and reports) gets one
  // resize at most.
  tresult setContentScaleFactor(
      Steinberg_IPlugViewContentScaleSupport_ScaleFactor factor) noexcept {
    editor_->setHostScale(factor);
    return Steinberg_kResultTrue;
  }

  void onTimer() noexcept {
    if (editor_ != nullptr && editor_->isOpen()) {
      editor_->idle();
    }
  }

 private:
  // PanelZoomHost
  bool resizePanel(const PanelSize& size) override;
  void panelZoomChosen(std::int32_t zoom) override {
    host_.panelZoomChosen(zoom);
  }

  Slot<PlugView, EditorView> view_;
  Slot<ScaleSupport, EditorView> scale_;
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

const Steinberg_IPlugViewContentScaleSupportVtbl kScaleVtbl = {
    thunk<ScaleSupport, &EditorView::queryInterface>,
    thunk<ScaleSupport, &EditorView::addRef>,
    thunk<ScaleSupport, &EditorView::release>,
    thunk<ScaleSupport, &EditorView::setContentScaleFactor>,
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
      scale_{{const_cast<Steinberg_IPlugViewContentScaleSupportVtbl*>(&kScaleVtbl)}, this},
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
  if (editor_ != nullptr) {
    editor_->offerZoom(*this);
    editor_->setChosenZoom(host_.chosenZoom());
  }
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
  } else if (sameId(iid, Steinberg_IPlugViewContentScaleSupport_iid)) {
    face = &scale_;
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

// The editor's answer also records the size the host now knows, as a VST 2 host's
// effEditGetRect does: a window that opens at that size asks the host for nothing.
tresult EditorView::getSize(Steinberg_ViewRect* size) noexcept {
  if (size == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  EditorRect* rect = nullptr;
  editor_->getRect(&rect);
  size->left = 0;
  size->top = 0;
  size->right = rect->right - rect->left;
  size->bottom = rect->bottom - rect->top;
  return Steinberg_kResultOk;
}

// The host gave the window this size: with its own resizeView answer, or after the user dragged
// its edges (then snapped as checkSizeConstraint does, and the rest of the host's window stays
// empty).
tresult EditorView::onSize(Steinberg_ViewRect* size) noexcept {
  if (size == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  const std::int32_t exact = panelZoomOfSize(widthOf(*size), heightOf(*size));
  editor_->showAtZoom(exact != 0 ? exact : zoomFitting(*size));
  return Steinberg_kResultOk;
}

tresult EditorView::checkSizeConstraint(Steinberg_ViewRect* rect) noexcept {
  if (rect == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  const PanelSize size = panelSizeAt(zoomFitting(*rect));
  rect->right = rect->left + size.width;
  rect->bottom = rect->top + size.height;
  return Steinberg_kResultTrue;
}

bool EditorView::resizePanel(const PanelSize& size) {
  if (frame_ == nullptr) {
    return false;
  }
  Steinberg_ViewRect rect{0, 0, size.width, size.height};
  return frame_->lpVtbl->resizeView(frame_, face(), &rect) == Steinberg_kResultTrue;
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

void showChosenZoom(EditorView* view, std::int32_t zoom) noexcept {
  view->showChosen(zoom);
}

}  // namespace vst3
