// The controller's view: the panel as a child of the host's window, 481 × 281 at 100 % (on Linux
// any scale from 100 % to 300 %; a new scale while attached goes through the frame's resizeView).
// On Linux the host's run loop wakes the panel when its X connection has events and every kTimerMs
// for the poll and painting; on Windows the panel's window has its own timer.
#include <cstring>

#include "PanelControls.h"
#include "PanelScale.h"
#include "Unit1.h"
#include "Vst3Plugin.h"

using namespace vst3;

namespace velavst3 {
namespace {

#if defined(_WIN32)
constexpr const char* kPlatformType = kPlatformTypeHWND;
#else
constexpr const char* kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif

}  // namespace

View::View(Controller* owner) { controller.reset(owner); }

View::~View() { removed(); }

tresult View::queryInterface(TUIDPtr interfaceId, void** obj) {
  if (obj == nullptr) return kInvalidArgument;
  auto* view = static_cast<IPlugView*>(this);
  if (offer<FUnknown>(interfaceId, obj, view) || offer<IPlugView>(interfaceId, obj, view) ||
      offer<IPlugViewContentScaleSupport>(interfaceId, obj, static_cast<IPlugViewContentScaleSupport*>(this)))
    return kResultOk;
#if !defined(_WIN32)
  if (offer<IEventHandler>(interfaceId, obj, static_cast<IEventHandler*>(this)) ||
      offer<ITimerHandler>(interfaceId, obj, static_cast<ITimerHandler*>(this)))
    return kResultOk;
#endif
  return noInterface(obj);
}

uint32_t View::release() {
  const uint32_t left = refs.drop();
  if (left == 0) delete this;
  return left;
}

tresult View::isPlatformTypeSupported(FIDString type) {
  return type != nullptr && std::strcmp(type, kPlatformType) == 0 ? kResultOk : kResultFalse;
}

tresult View::attached(void* parent, FIDString type) {
  if (panel != nullptr || parent == nullptr || isPlatformTypeSupported(type) != kResultOk)
    return kResultFalse;
  panel = createNativePanel(parent, {hostScale, false});
  if (panel == nullptr) return kResultFalse;
  panel->form().setLink(&controller->panelLink());
  // A new scale while attached (the user's menu, a new content scale factor) asks the host first.
  panel->setSizeRequest([this](int32_t width, int32_t height) {
    ViewRect rect{0, 0, width, height};
    return frame && frame->resizeView(this, &rect) == kResultOk;
  });
  panel->show();
#if !defined(_WIN32)
  // The run loop comes with the frame; without one the panel shows but never updates.
  if (frame) runLoop.adopt(queryAs<IRunLoop>(frame.get()));
  if (runLoop) {
    handlerRegistered = panel->eventDescriptor() >= 0 &&
                        runLoop->registerEventHandler(this, panel->eventDescriptor()) == kResultOk;
    timerRegistered = runLoop->registerTimer(this, kTimerMs) == kResultOk;
  }
#endif
  return kResultOk;
}

void View::leaveRunLoop() {
#if !defined(_WIN32)
  if (runLoop) {
    if (handlerRegistered) runLoop->unregisterEventHandler(this);
    if (timerRegistered) runLoop->unregisterTimer(this);
  }
  handlerRegistered = timerRegistered = false;
  runLoop.reset();
#endif
}

tresult View::removed() {
  leaveRunLoop();
  // The panel closes any gesture still open through the controller's link.
  panel.reset();
  return kResultOk;
}

ViewRect View::size() const {
  const velapanel::PanelSize panelSize =
      panel != nullptr ? velapanel::PanelSize{panel->outerWidth(), panel->outerHeight()}
                       : nativePanelSize({hostScale, false});
  return {0, 0, panelSize.width, panelSize.height};
}

tresult View::getSize(ViewRect* rect) {
  if (rect == nullptr) return kInvalidArgument;
  *rect = size();
  return kResultOk;
}

tresult View::onSize(ViewRect* rect) {
  if (rect == nullptr) return kInvalidArgument;
  const ViewRect fixed = size();
  return rect->right - rect->left == fixed.right && rect->bottom - rect->top == fixed.bottom
             ? kResultOk
             : kResultFalse;
}

tresult View::setFrame(IPlugFrame* newFrame) {
  frame.reset(newFrame);
  return kResultOk;
}

tresult View::checkSizeConstraint(ViewRect* rect) {
  if (rect == nullptr) return kInvalidArgument;
  const ViewRect fixed = size();
  rect->right = rect->left + fixed.right;
  rect->bottom = rect->top + fixed.bottom;
  return kResultOk;
}

tresult View::setContentScaleFactor(float factor) {
#if defined(_WIN32)
  // The Windows panel keeps its designed size: Windows hosts stretch plug-in windows themselves.
  return factor == 1.0f ? kResultOk : kResultFalse;
#else
  hostScale = velapanel::clampScale(static_cast<double>(factor));
  if (panel != nullptr) panel->setHostScale({hostScale, false});
  return kResultOk;
#endif
}

#if !defined(_WIN32)
void View::onFDIsSet(int) {
  if (panel != nullptr) panel->idle();
}

void View::onTimer() {
  if (panel != nullptr) panel->idle();
  controller->flushRestart();
}
#endif

}  // namespace velavst3
