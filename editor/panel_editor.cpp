#include "editor/panel_editor.h"

#include "editor/panel_input.h"
#include "host/vst2/effect_base.h"

namespace {

EditorRect panelRect{0, 0, kPanelHeight, kPanelWidth};

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

PanelWindow::PanelWindow(const PanelBitmapSet& bitmaps) : bitmaps_(bitmaps) {
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
      present(changed[i]);
    }
  }
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
  WindowEditorActions actions(editor_, this);
  const PanelInputContext context{editor_ != nullptr ? &actions : nullptr, &drawDisplayOfWindow,
                                  this};
  handleLeftButtonDown(context, x, y);
}

void PanelWindow::mouseMove(std::int32_t x, std::int32_t y, bool leftButton) {
  WindowEditorActions actions(editor_, this);
  const PanelInputContext context{editor_ != nullptr ? &actions : nullptr, &drawDisplayOfWindow,
                                  this};
  handleMouseMove(context, x, y, leftButton);
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

std::int32_t PanelEditor::getRect(EditorRect** rect) {
  *rect = &panelRect;
  return 1;
}

std::int32_t PanelEditor::open(void* parent) {
  // A host that opens twice gets one window: the first one goes before the second is made.
  close();
  parentWindow = parent;
  acquirePanelResources(system);
  PanelWindow* created = system.createWindow(parent);
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
  return 1;
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
