// The panel inside the host's window. On Linux the X11 panel does its work only when called:
// the host calls back on activity of its X connection (posix-fd support, read only) and on a
// timer of about 30 Hz (timer support); at least one of the two must be offered. On Windows the
// panel gets its window messages from the host's loop and needs neither.
#include "ClapPlugin.h"
#include "PanelControls.h"
#include "PanelScale.h"
#include "Unit1.h"

namespace velaclap {

namespace {
constexpr uint32_t kTimerPeriodMs = 33;
}  // namespace

bool ClapPlugin::guiCreate(const char*, bool) {
  if (guiCreated_) return false;
#if !defined(_WIN32)
  if (hostTimers_ == nullptr && hostFds_ == nullptr) return false;
  if (hostTimers_ != nullptr)
    timerRegistered_ = hostTimers_->register_timer(host_, kTimerPeriodMs, &timerId_);
  if (!timerRegistered_ && hostFds_ == nullptr) return false;
#endif
  guiCreated_ = true;
  return true;
}

void ClapPlugin::guiDestroy() {
  if (registeredFd_ >= 0 && hostFds_ != nullptr) hostFds_->unregister_fd(host_, registeredFd_);
  registeredFd_ = -1;
  if (timerRegistered_ && hostTimers_ != nullptr) hostTimers_->unregister_timer(host_, timerId_);
  timerRegistered_ = false;
  timerId_ = CLAP_INVALID_ID;
  // The panel's destruction closes a gesture still open and copes with a parent already gone.
  wakePanel_.store(false);
  panel_.reset();
  guiCreated_ = false;
  panelBehind_.store(false);
}

bool ClapPlugin::guiSetParent(const clap_window* window) {
  if (!guiCreated_ || window == nullptr) return false;
#if defined(_WIN32)
  void* parent = window->win32;
#else
  void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(window->x11));
#endif
  if (parent == nullptr) return false;
  if (registeredFd_ >= 0 && hostFds_ != nullptr) hostFds_->unregister_fd(host_, registeredFd_);
  registeredFd_ = -1;
  wakePanel_.store(false);
  panel_.reset();
  // A child of the host's window, mapped and known to the server when this returns: some hosts
  // look for it at once and never wait for show.
  panel_ = createNativePanel(parent, {hostScale_, false});
  if (panel_ == nullptr) return false;
  panel_->form().setLink(&link_);
  // A new scale while the panel is open (the user's menu, a later set_scale) asks the host first.
  panel_->setSizeRequest([this](int32_t width, int32_t height) {
    return hostGui_ != nullptr && width > 0 && height > 0 &&
           hostGui_->request_resize(host_, static_cast<uint32_t>(width),
                                    static_cast<uint32_t>(height));
  });
  // The values as they are now, not after the first poll: hosts that call only on activity of
  // the X connection may not call again for a while.
  panel_->form().Timer1Timer();
  panel_->show();
  const int fd = panel_->eventDescriptor();
  if (fd >= 0 && hostFds_ != nullptr && hostFds_->register_fd(host_, fd, CLAP_POSIX_FD_READ))
    registeredFd_ = fd;
  wakePanel_.store(registeredFd_ >= 0 && !timerRegistered_);
  return true;
}

bool ClapPlugin::guiShow() {
  if (panel_ == nullptr) return false;
  panel_->show();
  return true;
}

bool ClapPlugin::guiHide() {
  if (panel_ == nullptr) return false;
  panel_->hide();
  return true;
}

void ClapPlugin::guiIdle() {
  if (panel_ != nullptr) panel_->idle();
}

bool ClapPlugin::guiSetScale(double scale) {
#if defined(_WIN32)
  (void)scale;
  return false;  // the Windows panel keeps its designed size; the host stretches it
#else
  hostScale_ = velapanel::clampScale(scale);
  if (panel_ != nullptr) panel_->setHostScale({hostScale_, false});
  return true;
#endif
}

void ClapPlugin::guiSize(uint32_t& width, uint32_t& height) const {
  const velapanel::PanelSize size =
      panel_ != nullptr ? velapanel::PanelSize{panel_->outerWidth(), panel_->outerHeight()}
                        : nativePanelSize({hostScale_, false});
  width = static_cast<uint32_t>(size.width);
  height = static_cast<uint32_t>(size.height);
}

}  // namespace velaclap
