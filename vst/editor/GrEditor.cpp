#include "GrEditor.h"

#include <utility>

#include "PanelConstants.h"
#include "Unit1.h"
#include "VelaVendorCalls.h"

GrEditor::GrEditor(AudioEffect* owner) : GrEditor(owner, PanelFactory{}) {
  panelFactory = [this](void* window) { return createNativePanel(window, hostScale()); };
  sizeBeforeOpen = [this] { return nativePanelSize(hostScale()); };
}

GrEditor::GrEditor(AudioEffect* owner, PanelFactory factory)
    : AEffEditorX(owner), link(owner), panelFactory(std::move(factory)) {}

GrEditor::~GrEditor() {
  // However many opens are outstanding, the panel goes before the editor.
  if (openCounter > 0) {
    openCounter = 1;
    close();
  }
}

int32_t GrEditor::getRect(ERect** out) {
  rect = ERect{};
#if !defined(_WIN32)
  // Linux hosts size their window before they open the editor, so the size is known up front.
  if (panelWindow == nullptr) {
    const velapanel::PanelSize size = sizeBeforeOpen();
    rect.bottom = static_cast<int16_t>(size.height);
    rect.right = static_cast<int16_t>(size.width);
  }
#endif
  if (panelWindow != nullptr) {
    rect.bottom = static_cast<int16_t>(panelWindow->outerHeight());
    rect.right = static_cast<int16_t>(panelWindow->outerWidth());
  }
  if (out != nullptr) *out = &rect;
  return 1;
}

int32_t GrEditor::open(void* ptr) {
  if (panelWindow == nullptr) {
    // A new panel needs a real parent window: without one nothing is created and nothing
    // counted. An open while the panel exists never looks at the parent.
    if (ptr == nullptr) return 0;
    std::unique_ptr<PanelWindow> created = panelFactory ? panelFactory(ptr) : nullptr;
    if (created == nullptr) return 0;
    panelWindow = std::move(created);
    panelWindow->form().setLink(&link);
    panelWindow->setSizeRequest([this](int32_t width, int32_t height) {
      auto* extended = dynamic_cast<AudioEffectX*>(effect);
      return extended != nullptr && extended->sizeWindow(width, height);
    });
  }
  parent = ptr;
  ++openCounter;
  panelWindow->show();
  return 1;
}

void GrEditor::close() {
  // A close without an outstanding open is ignored: the count never goes below 0.
  if (openCounter <= 0) return;
  --openCounter;
  if (openCounter == 0 && panelWindow != nullptr) {
    panelWindow.reset();
    parent = nullptr;
  }
}

void GrEditor::idle() {
  AEffEditorX::idle();
  if (panelWindow != nullptr) panelWindow->idle();
}

void GrEditor::update() {
  if (panelWindow != nullptr) panelWindow->repaint();
}

velapanel::HostScale GrEditor::hostScale() const {
#if defined(_WIN32)
  return {};  // the Windows panel keeps its designed size; nothing to ask
#else
  auto* extended = dynamic_cast<AudioEffectX*>(effect);
  if (extended == nullptr) return {};
  // Hosts that do not know the question answer 0; an answer outside 100..300 is not a scale
  // either, whatever such a host meant by it.
  const int32_t hundredths = extended->hostVendorSpecific(kHostScaleQuestion, 0, nullptr, 0.0f);
  if (hundredths < 100 || hundredths > 300) return {};
  return {hundredths / 100.0, true};
#endif
}
