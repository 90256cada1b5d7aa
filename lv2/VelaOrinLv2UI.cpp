// VelaOrin.lv2's panel: the same portable panel and X11 painter as VelaOrin.so, as a ui:X11UI in
// a binary of its own. The panel is a child of the host's ui:parent window with its own display
// connection; every X call and all painting happen in idle(), on the host's UI thread. Edits go
// to the control ports with the float protocol, bracketed by ui:touch where the host offers it;
// the host's port_event values move the controls and are never written back. No instance-access
// and nothing shared with the DSP: hosts may run the two in different processes.
// The host's ui:scaleFactor (in the options at instantiation, later through the options
// interface) is its word on the panel's scale; the window's size hints follow the scale and a
// new size is told to ui:resize.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <memory>
#include <new>

#include "Lv2Bundle.h"
#include "PanelConstants.h"
#include "PanelControls.h"
#include "ParameterLink.h"
#include "Unit1.h"

namespace {

using namespace velalv2;

// The panel's view of the 14 control ports: the last value the host sent or the panel wrote.
class PortLink final : public ParameterLink {
 public:
  PortLink(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch)
      : write_(write), controller_(controller), touch_(touch) {
    for (const ParameterInfo& p : kParameters) values_[p.index] = p.initial;
  }

  // [UI thread]
  float value(int32_t index) override { return isPort(index) ? values_[index] : 0.0f; }
  void automate(int32_t index, float value) override {
    if (!isPort(index)) return;
    values_[index] = value;
    write_(controller_, static_cast<uint32_t>(index), sizeof value, 0, &value);
  }
  void beginEdit(int32_t index) override { touch(index, true); }
  void endEdit(int32_t index) override { touch(index, false); }
  void hostValue(uint32_t index, float value) {
    if (index < kMidiInPort) values_[index] = value;
  }

 private:
  static bool isPort(int32_t index) { return index >= 0 && index < kNumParams; }
  void touch(int32_t index, bool grabbed) {
    if (isPort(index) && touch_ != nullptr && touch_->touch != nullptr)
      touch_->touch(touch_->handle, static_cast<uint32_t>(index), grabbed);
  }

  LV2UI_Write_Function write_;
  LV2UI_Controller controller_;
  const LV2UI_Touch* touch_;  // the host's, valid until cleanup
  float values_[kNumParams] = {};
};

// ui:scaleFactor in an options array, as a number of any atom type a host may use for it.
class ScaleOption {
 public:
  explicit ScaleOption(const LV2_URID_Map* map) {
    if (map == nullptr || map->map == nullptr) return;  // no way to name the option
    key_ = map->map(map->handle, LV2_UI__scaleFactor);
    float_ = map->map(map->handle, LV2_ATOM__Float);
    double_ = map->map(map->handle, LV2_ATOM__Double);
    int_ = map->map(map->handle, LV2_ATOM__Int);
  }
  bool is(const LV2_Options_Option& o) const { return key_ != 0 && o.key == key_; }
  // The value of a scaleFactor option; 0 when its type is none of ours.
  double value(const LV2_Options_Option& o) const {
    if (o.value == nullptr) return 0.0;
    if (o.type == float_ && o.size == sizeof(float)) return *static_cast<const float*>(o.value);
    if (o.type == double_ && o.size == sizeof(double)) return *static_cast<const double*>(o.value);
    if (o.type == int_ && o.size == sizeof(int32_t)) return *static_cast<const int32_t*>(o.value);
    return 0.0;
  }

 private:
  LV2_URID key_ = 0, float_ = 0, double_ = 0, int_ = 0;
};

// A list ends at an option with key 0 and no value.
bool ended(const LV2_Options_Option* o) {
  return o == nullptr || (o->key == 0 && o->value == nullptr);
}

struct Ui {
  Ui(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch,
     const LV2_URID_Map* map)
      : link(write, controller, touch), scaleOption(map) {}
  PortLink link;
  ScaleOption scaleOption;
  // Destroyed first: closing the panel ends any open gesture through the link.
  std::unique_ptr<PanelWindow> panel;
};

const LV2_Feature* feature(const LV2_Feature* const* features, const char* uri) {
  for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f)
    if (std::strcmp((*f)->URI, uri) == 0) return *f;
  return nullptr;
}
template <class Data>
const Data* featureData(const LV2_Feature* const* features, const char* uri) {
  const LV2_Feature* f = feature(features, uri);
  return f != nullptr ? static_cast<const Data*>(f->data) : nullptr;
}

// [UI thread] Null, with nothing left open and no X error reaching the host, when there is no
// parent window, no display, or the parent is not a window.
LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
  const LV2_Feature* parent = feature(features, LV2_UI__parent);
  if (pluginUri == nullptr || std::strcmp(pluginUri, kPluginUri) != 0 || write == nullptr ||
      widget == nullptr || parent == nullptr)
    return nullptr;
  auto ui = std::unique_ptr<Ui>(
      new (std::nothrow) Ui(write, controller, featureData<LV2UI_Touch>(features, LV2_UI__touch),
                            featureData<LV2_URID_Map>(features, LV2_URID__map)));
  if (ui == nullptr) return nullptr;
  velapanel::HostScale hostScale;
  for (const auto* o = featureData<LV2_Options_Option>(features, LV2_OPTIONS__options); !ended(o);
       ++o)
    if (ui->scaleOption.is(*o)) hostScale.scale = ui->scaleOption.value(*o);
  // ui:parent carries the X11 window id itself.
  ui->panel = createNativePanel(parent->data, hostScale);
  if (ui->panel == nullptr) return nullptr;
  ui->panel->form().setLink(&ui->link);
  *widget = reinterpret_cast<LV2UI_Widget>(ui->panel->nativeWindow());
  // Some hosts size their window only from this call; the host is told, not asked: our window
  // is a child of its, and the size hints say the rest.
  const auto* resize = featureData<LV2UI_Resize>(features, LV2_UI__resize);
  if (resize != nullptr && resize->ui_resize == nullptr) resize = nullptr;
  if (resize != nullptr)
    resize->ui_resize(resize->handle, ui->panel->outerWidth(), ui->panel->outerHeight());
  ui->panel->setSizeRequest([resize](int32_t width, int32_t height) {
    if (resize != nullptr) resize->ui_resize(resize->handle, width, height);
    return true;
  });
  ui->panel->show();
  return ui.release();
}

// [UI thread] Closes the window and the display connection.
void cleanup(LV2UI_Handle handle) { delete static_cast<Ui*>(handle); }

// [UI thread] The controls follow at the panel's next poll, from idle.
void portEvent(LV2UI_Handle handle, uint32_t index, uint32_t size, uint32_t format,
               const void* buffer) {
  if (format != 0 || size != sizeof(float) || buffer == nullptr) return;
  float value;
  std::memcpy(&value, buffer, sizeof value);
  static_cast<Ui*>(handle)->link.hostValue(index, value);
}

// [UI thread] Events, the poll and painting.
int idle(LV2UI_Handle handle) {
  static_cast<Ui*>(handle)->panel->idle();
  return 0;
}

const LV2UI_Idle_Interface kIdle = {idle};

// [UI thread] Nothing to read back: the panel keeps no option a host could ask for.
uint32_t getOptions(LV2_Handle, LV2_Options_Option* options) {
  return ended(options) ? LV2_OPTIONS_SUCCESS : LV2_OPTIONS_ERR_BAD_KEY;
}

// [UI thread] ui:scaleFactor moves the panel to the host's new word; other options are not ours.
uint32_t setOptions(LV2_Handle handle, const LV2_Options_Option* options) {
  Ui& ui = *static_cast<Ui*>(handle);
  uint32_t status = LV2_OPTIONS_SUCCESS;
  for (const LV2_Options_Option* o = options; !ended(o); ++o) {
    if (!ui.scaleOption.is(*o)) {
      status |= LV2_OPTIONS_ERR_BAD_KEY;
      continue;
    }
    const double scale = ui.scaleOption.value(*o);
    if (velapanel::clampScale(scale) == 0.0)
      status |= LV2_OPTIONS_ERR_BAD_VALUE;
    else
      ui.panel->setHostScale({scale, false});
  }
  return status;
}

const LV2_Options_Interface kOptions = {getOptions, setOptions};

const void* extensionData(const char* uri) {
  if (uri == nullptr) return nullptr;
  if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdle;
  if (std::strcmp(uri, LV2_OPTIONS__interface) == 0) return &kOptions;
  return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

// [discovery]
extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
