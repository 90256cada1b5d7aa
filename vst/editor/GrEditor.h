// GrEditor: the editor object the host talks to. It reports the panel's size, creates the
// panel on the first open inside the host's window, links it to the effect's parameters (see
// VstParameterLink), shows it on every open and destroys it on the last close.
//
// Contract with the platform layer: the panel comes from a PanelFactory (PanelControls.h); the
// default is createNativePanel from editor/win32/ or editor/x11/ (tests pass a fake).
// getRect: on Windows a zero rectangle until a panel exists; on Linux always the panel's size,
// scaled: before the panel exists, the size it would open at.
// Scale: VST 2 has no word for it; a host of ours fixes it with kHostScaleQuestion. A panel
// whose scale changes while open asks the host with sizeWindow (audioMasterSizeWindow) and
// takes the size only when the host agrees.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "DAudioEffectX.h"
#include "PanelConstants.h"
#include "PanelControls.h"
#include "VstParameterLink.h"

class GrEditor : public AEffEditorX {
 public:
  explicit GrEditor(AudioEffect* effect);
  GrEditor(AudioEffect* effect, PanelFactory factory);
  ~GrEditor() override;

  // [UI thread] Reached through the editor opcodes.
  int32_t getRect(ERect** rect) override;
  int32_t open(void* ptr) override;
  void close() override;
  void idle() override;
  void update() override;

  int32_t openCount() const { return openCounter; }
  void* parentWindow() const { return parent; }
  PanelWindow* panel() const { return panelWindow.get(); }
  ParameterLink& parameterLink() { return link; }

 private:
  velapanel::HostScale hostScale() const;

  int32_t openCounter = 0;  // opens not yet matched by a close
  ERect rect{};             // handed to the host; lives as long as the editor
  void* parent = nullptr;   // parent given with the latest counted open
  VstParameterLink link;    // declared before the panel: it outlives the panel's last gesture
  std::unique_ptr<PanelWindow> panelWindow;
  PanelFactory panelFactory;
  // The native panel's size before it opens; a given factory's panels have the designed size.
  std::function<velapanel::PanelSize()> sizeBeforeOpen = [] {
    return velapanel::PanelSize{kPanelWidth, kPanelHeight};
  };
};
