#include "editor/panel_editor.h"

#include "editor/panel_input.h"
#include "host/vst2/effect_base.h"

namespace {

std::int32_t openEditorCount = 0;

constexpr std::int32_t kKnobControlCount = 3;
constexpr std::int32_t kLevelControl = 3;

// The editor and window of one mouse event, as the portable mouse handling sees them. Only
// handed over while an editor is attached. Every action asks first whether the editor is still
// the window's: the host may have closed the editor (or destroyed the window, or even the
// editor with its effect) from inside the previous action's call to it, and then the rest of the
// event reaches nothing. Only the window, which its InUse keeps, is looked at for that.
class WindowEditorActions final : public PanelEditorActions {
 public:
  WindowEditorActions(PanelEditor* editor, PanelWindow* window) : editor(editor), window(window) {}
  void restoreValues() override {
    if (stillAttached()) {
      editor->restoreValues();
    }
  }
  void saveValues() override {
    if (stillAttached()) {
      editor->saveValues();
    }
  }
  void setParameterFromPanel(float value, std::int32_t index) override {
    if (stillAttached()) {
      editor->setParameterFromPanel(value, index);
    }
  }
  void drawKnobControl(std::int32_t index) override {
    if (stillAttached()) {
      editor->drawKnobControl(window, index);
    }
  }

 private:
  bool stillAttached() const { return !window->disposed() && window->editor() == editor; }

  PanelEditor* editor;
  PanelWindow* window;
};

void drawDisplayOfWindow(void* window, std::int32_t index) {
  drawDisplay(static_cast<PanelWindow*>(window), index);
}

constexpr PanelTransfer kWholeBackground = {
    PanelBitmap::background, PanelRasterOperation::copy, 0, 0, kPanelWidth, kPanelHeight, 0, 0};

bool contains(const PanelRect& outer, const PanelRect& inner) {
  return outer.x <= inner.x && outer.y <= inner.y &&
         inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

}  // namespace

PanelWindow::PanelWindow(const PanelBitmapSet& bitmaps, std::int32_t zoom)
    : bitmaps_(bitmaps), scale_(isPanelZoom(zoom) ? zoom : kPanelZooms[0]) {
  canvas_.transfer(kWholeBackground, bitmaps_);
}

PanelWindow::InUse::~InUse() {
  --window_.inUse_;
  if (window_.inUse_ == 0 && window_.disposed_) {
    delete &window_;
  }
}

void PanelWindow::dispose(PanelWindow* window) {
  window->disposed_ = true;
  window->editor_ = nullptr;
  if (window->inUse_ == 0) {
    delete window;
  }
}

void PanelWindow::drawTransfers(const PanelTransferList& transfers) {
  if (disposed_) {
    return;
  }
  // Composed first, shown after: a rectangle shown holds the pixels of every transfer over it.
  PanelRect changed[kMaxPanelTransfers];
  std::int32_t count = 0;
  for (const PanelTransfer& t : transfers) {
    if (count == kMaxPanelTransfers) {
      break;
    }
    changed[count++] = canvas_.transfer(t, bitmaps_);
  }
  for (std::int32_t i = 0; i < count; ++i) {
    bool shownAlready = changed[i].empty();
    for (std::int32_t j = 0; j < i && !shownAlready; ++j) {
      shownAlready = contains(changed[j], changed[i]);
    }
    if (!shownAlready) {
      presentPanelRect(changed[i]);
    }
  }
}

void PanelWindow::presentPanelRect(const PanelRect& panelRect) {
  const PanelRect shown = scale_.windowRectOf(panelRect);
  if (!shown.empty()) {
    present(shown);
  }
}

const std::uint32_t* PanelWindow::row(std::int32_t y, std::uint32_t* scratch) const {
  const PanelRect menu = menu_.area();
  if (menu.empty() || y < menu.y || y >= menu.y + menu.height) {
    return canvas_.row(y);
  }
  const std::uint32_t* from = canvas_.row(y);
  for (std::int32_t x = 0; x < PanelCanvas::width; ++x) {
    scratch[x] = from[x];
  }
  menu_.drawRow(y, scratch, bitmaps_);
  return scratch;
}

void PanelWindow::composeWindowPixels(const PanelRect& windowRect, std::uint32_t* out,
                                      std::int32_t stride) const {
  scalePanelPixels(scale_, *this, windowRect, out, stride);
}

void PanelWindow::setZoom(std::int32_t zoom) {
  if (disposed_ || !isPanelZoom(zoom) || zoom == scale_.zoom()) {
    return;
  }
  scale_ = PanelScale(zoom);
  resize(scale_.windowSize());
  presentPanelRect({0, 0, kPanelWidth, kPanelHeight});
}

void PanelWindow::paint() {
  PanelTransferList background;
  background.items[0] = kWholeBackground;
  background.count = 1;
  drawTransfers(background);

  PanelEditor* editor = editor_;
  if (editor != nullptr) {
    editor->restoreValues();
  }
  for (std::int32_t i = 0; i < kKnobControlCount; ++i) {
    panelControlTable.dirty[i] = 1;
    if (editor != nullptr) {
      editor->drawKnobControl(this, i);
    }
  }
  panelControlTable.dirty[kLevelControl] = 1;
  drawDisplay(this, kLevelControl);
}

void PanelWindow::leftButtonDown(std::int32_t x, std::int32_t y) {
  const std::int32_t panelX = scale_.toPanel(x);
  const std::int32_t panelY = scale_.toPanel(y);
  if (menu_.isOpen()) {
    // A press while the menu is open answers the menu alone: a choice, or closing it.
    const std::int32_t chosen = menu_.zoomAt(panelX, panelY);
    const PanelRect area = menu_.area();
    menu_.close();
    presentPanelRect(area);
    if (chosen != 0 && editor_ != nullptr) {
      editor_->chooseZoom(chosen);
    }
    return;
  }
  WindowEditorActions actions(editor_, this);
  const PanelInputContext context{editor_ != nullptr ? &actions : nullptr, &drawDisplayOfWindow,
                                  this};
  handleLeftButtonDown(context, panelX, panelY);
}

void PanelWindow::mouseMove(std::int32_t x, std::int32_t y, bool leftButton) {
  const std::int32_t panelX = scale_.toPanel(x);
  const std::int32_t panelY = scale_.toPanel(y);
  if (menu_.hover(panelX, panelY)) {
    presentPanelRect(menu_.area());
  }
  WindowEditorActions actions(editor_, this);
  const PanelInputContext context{editor_ != nullptr ? &actions : nullptr, &drawDisplayOfWindow,
                                  this};
  handleMouseMove(context, panelX, panelY, leftButton);
}

void PanelWindow::rightButtonDown(std::int32_t x, std::int32_t y) {
  if (disposed_ || editor_ == nullptr || !editor_->offersZoom()) {
    return;
  }
  const PanelRect previous = menu_.area();
  menu_.open(scale_.toPanel(x), scale_.toPanel(y), scale_.zoom());
  presentPanelRect(unite(previous, menu_.area()));
}

void acquirePanelResources(PanelWindowSystem& system) {
  ++openEditorCount;
  if (openEditorCount == 1) {
    system.acquireResources();
  }
}

void releasePanelResources(PanelWindowSystem& system) {
  if (openEditorCount <= 0) {
    return;
  }
  --openEditorCount;
  if (openEditorCount == 0) {
    system.releaseResources();
  }
}

std::int32_t openPanelEditorCount() {
  return openEditorCount;
}

void drawDisplay(PanelWindow* window, std::int32_t index) {
  if (!controlNeedsDraw(index)) {
    return;
  }
  const PanelTransferList transfers = takeDisplayDraw(index);
  if (window != nullptr) {
    window->drawTransfers(transfers);
  }
}

PanelEditor::PanelEditor(EffectBase& owner, PanelWindowSystem& windowSystem)
    : EditorBase(owner), system(windowSystem) {
  owner.setEditor(this);
}

PanelEditor::~PanelEditor() {
  // Runs while the effect is being destroyed: close touches neither the effect nor the table,
  // and this class's own close is the one meant.
  PanelEditor::close();
}

std::int32_t PanelEditor::getRect(EditorRect** answer) {
  const std::int32_t shown = zoom();
  const PanelSize size = panelSizeAt(shown);
  rect = {0, 0, static_cast<std::int16_t>(size.height), static_cast<std::int16_t>(size.width)};
  if (pendingZoom == 0) {
    hostKnownZoom = shown;
  }
  *answer = &rect;
  return 1;
}

std::int32_t PanelEditor::open(void* parent) {
  // A host that opens twice gets one window: the first one goes before the second is made.
  close();
  parentWindow = parent;
  acquirePanelResources(system);
  const std::int32_t wanted = startingZoom(parent);
  PanelWindow* created = system.createWindow(parent, wanted);
  if (created == nullptr) {
    releasePanelResources(system);
    return 0;
  }
  opened = true;
  created->attach(this);
  window = created;
  for (std::int32_t i = 0; i < kPanelControlCount; ++i) {
    indexOffsetX[i] = 22;
    indexOffsetY[i] = 22;
  }
  update();
  saveValues();
  // The host sized its window for the zoom it last heard of; where the desktop's (here, at the
  // parent) differs, it is asked for the new size, and a refusal keeps the one it has.
  if (wanted != hostKnownZoom && !requestZoom(wanted) && window != nullptr) {
    window->setZoom(hostKnownZoom);
  }
  return 1;
}

std::int32_t PanelEditor::startingZoom(void* parent) {
  if (zoomHost == nullptr) {
    return kPanelZooms[0];
  }
  if (chosen != 0) {
    return chosen;
  }
  if (hostZoom != 0) {
    return hostZoom;
  }
  // Asked once without a window (hosts ask for the rectangle often), and again at each parent,
  // which may be on another screen.
  if (parent != nullptr || desktopZoomCache == 0) {
    desktopZoomCache = system.desktopZoom(parent);
  }
  return isPanelZoom(desktopZoomCache) ? desktopZoomCache : kPanelZooms[0];
}

std::int32_t PanelEditor::zoom() {
  if (pendingZoom != 0) {
    return pendingZoom;
  }
  return window != nullptr ? window->zoom() : startingZoom(nullptr);
}

bool PanelEditor::requestZoom(std::int32_t wanted) {
  if (zoomHost == nullptr || !isPanelZoom(wanted)) {
    return false;
  }
  if (window != nullptr && wanted == window->zoom() && wanted == hostKnownZoom) {
    return true;
  }
  pendingZoom = wanted;
  const bool agreed = zoomHost->resizePanel(panelSizeAt(wanted));
  pendingZoom = 0;
  if (!agreed) {
    return false;
  }
  hostKnownZoom = wanted;
  // The host may have closed the editor meanwhile; then the zoom is kept for the next open.
  if (window != nullptr) {
    window->setZoom(wanted);
  }
  return true;
}

void PanelEditor::setHostScale(double factor) {
  hostZoom = panelZoomAtOrBelow(factor);
  if (chosen == 0 && window != nullptr) {
    requestZoom(hostZoom);
  }
}

void PanelEditor::setChosenZoom(std::int32_t zoom) {
  chosen = isPanelZoom(zoom) ? zoom : 0;
  if (window != nullptr) {
    requestZoom(startingZoom(parentWindow));
  }
}

bool PanelEditor::chooseZoom(std::int32_t zoom) {
  if (zoomHost == nullptr || !requestZoom(zoom)) {
    return false;
  }
  chosen = zoom;
  zoomHost->panelZoomChosen(zoom);
  return true;
}

void PanelEditor::showAtZoom(std::int32_t zoom) {
  if (!isPanelZoom(zoom)) {
    return;
  }
  hostKnownZoom = zoom;
  if (window != nullptr) {
    window->setZoom(zoom);
  }
}

void PanelEditor::close() {
  if (!opened) {
    return;
  }
  opened = false;
  if (window != nullptr) {
    // Events delivered while the window goes must not reach this editor any more.
    window->attach(nullptr);
    system.destroyWindow(window);
    window = nullptr;
  }
  // After the window: the last close frees the window class, which fails while a window of it
  // is left.
  releasePanelResources(system);
}

void PanelEditor::idle() {
  if (window != nullptr) {
    system.handleEvents(window);
  }
  EditorBase::idle();
  if (window != nullptr) {
    system.finishDrawing(window);
  }
}

void PanelEditor::update() {
  if (window == nullptr) {
    // Nothing to draw on: keep the effect's values for the next paint, but leave the table,
    // which open panels share, alone.
    for (std::int32_t i = 0; i < kPanelControlCount; ++i) {
      savedValues[i] = effect.getParameter(i);
    }
    return;
  }
  for (std::int32_t i = 0; i < kPanelControlCount; ++i) {
    panelControlTable.value[i] = effect.getParameter(i);
    panelControlTable.dirty[i] = 1;
    drawKnobControl(window, i);
  }
  saveValues();
}

void PanelEditor::restoreValues() {
  for (std::int32_t i = 0; i < kPanelControlCount; ++i) {
    panelControlTable.value[i] = savedValues[i];
  }
}

void PanelEditor::saveValues() {
  for (std::int32_t i = 0; i < kPanelControlCount; ++i) {
    savedValues[i] = panelControlTable.value[i];
  }
}

void PanelEditor::setParameterFromPanel(float value, std::int32_t index) {
  if (index >= 0 && index < kPanelControlCount) {
    effect.automateParameter(index, value);
  }
}

void PanelEditor::drawKnobControl(PanelWindow* targetWindow, std::int32_t index) {
  if (!controlNeedsDraw(index)) {
    return;
  }
  const KnobControlDraw draw =
      takeKnobControlDraw(index, {indexOffsetX[index], indexOffsetY[index]});
  indexOffsetX[index] = draw.newOffset.x;
  indexOffsetY[index] = draw.newOffset.y;
  if (targetWindow != nullptr) {
    targetWindow->drawTransfers(draw.transfers);
  }
}
