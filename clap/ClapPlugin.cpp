#include "ClapPlugin.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "BankFiles.h"
#include "FactoryLibrary.h"
#include "PanelConstants.h"
#include "PanelControls.h"
#include "Unit1.h"
#include "VelaIdentity.h"

namespace velaclap {
namespace {

const char* const kFeatures[] = {"instrument", "synthesizer", "stereo", nullptr};

constexpr clap_plugin_descriptor kDescriptor = {
    CLAP_VERSION,
    kPluginId,
    vela::identity::kName,
    vela::identity::kVendor,
    "",
    "",
    "",
    vela::identity::kVersion,
    "FM synthesizer: two sine modulators with feedback and sync into a sine carrier, an ADSR "
    "envelope and a state-variable filter",
    kFeatures};

bool isParam(clap_id id) { return id < static_cast<clap_id>(kNumParams); }

// Parameter groups for hosts that show modules.
const char* moduleOf(int32_t index) {
  switch (index) {
    case kMod1: case kMod2: case kFB1: case kFB2: case kM1S: case kM2S: return "Oscillators";
    case kA: case kD: case kS: case kR: return "Envelope";
    default: return "Filter";
  }
}

void copyName(char* to, const char* from, size_t size) {
  std::strncpy(to, from, size - 1);
  to[size - 1] = '\0';
}

// The event's own record, when the list holds one of this type at least as large.
template <class Record>
const Record* as(const clap_event_header* event) {
  return event->size >= sizeof(Record) ? reinterpret_cast<const Record*>(event) : nullptr;
}

// CLAP velocity 0..1 as MIDI velocity: nearest (ties to even), and never 0, which would be a
// note-off.
uint8_t midiVelocity(double velocity) {
  const double v = std::nearbyint(velocity * 127.0);
  if (!(v >= 1.0)) return 1;
  return static_cast<uint8_t>(v < 127.0 ? v : 127.0);
}

// Host values are limited to the range the parameters declare; NaN is not a value.
bool unitRange(double value, float& out) {
  if (std::isnan(value)) return false;
  out = static_cast<float>(value < 0.0 ? 0.0 : (value > 1.0 ? 1.0 : value));
  return true;
}

}  // namespace

const clap_plugin_descriptor& pluginDescriptor() { return kDescriptor; }

// ---------------------------------------------------------------------------------------------
// Panel edits to the host

bool EditQueue::push(const Edit& edit) {
  const uint32_t w = written_.load(std::memory_order_relaxed);
  if (w - read_.load(std::memory_order_acquire) >= kCapacity) return false;
  edits_[w % kCapacity] = edit;
  written_.store(w + 1, std::memory_order_release);
  return true;
}

bool EditQueue::empty() const {
  return written_.load(std::memory_order_acquire) == read_.load(std::memory_order_relaxed);
}

void EditQueue::sendTo(const clap_output_events* out) {
  if (out == nullptr || out->try_push == nullptr) return;
  const uint32_t w = written_.load(std::memory_order_acquire);
  uint32_t r = read_.load(std::memory_order_relaxed);
  for (; r != w; ++r) {
    const Edit& edit = edits_[r % kCapacity];
    bool pushed;
    if (edit.type == CLAP_EVENT_PARAM_VALUE) {
      clap_event_param_value event{};
      event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
      event.param_id = static_cast<clap_id>(edit.index);
      event.note_id = -1;
      event.port_index = event.channel = event.key = -1;
      event.value = static_cast<double>(edit.value);
      pushed = out->try_push(out, &event.header);
    } else {
      clap_event_param_gesture event{};
      event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, edit.type, 0};
      event.param_id = static_cast<clap_id>(edit.index);
      pushed = out->try_push(out, &event.header);
    }
    if (!pushed) break;  // the rest waits for the next block
  }
  read_.store(r, std::memory_order_release);
}

float ClapPlugin::Link::value(int32_t index) { return owner_.instrument_.bank().getParameter(index); }

void ClapPlugin::Link::automate(int32_t index, float value) {
  owner_.instrument_.bank().setParameter(index, value);
  send(CLAP_EVENT_PARAM_VALUE, index, value);
}

void ClapPlugin::Link::beginEdit(int32_t index) { send(CLAP_EVENT_PARAM_GESTURE_BEGIN, index, 0); }
void ClapPlugin::Link::endEdit(int32_t index) { send(CLAP_EVENT_PARAM_GESTURE_END, index, 0); }

void ClapPlugin::Link::send(uint16_t type, int32_t index, float value) {
  if (index < 0 || index >= kNumParams) return;
  owner_.edits_.push({type, index, value});
  owner_.requestFlushIfIdle();
}

void ClapPlugin::requestFlushIfIdle() {
  // While the host processes, the next block takes the edits; otherwise it must flush.
  if (!processing_.load() && hostParams_ != nullptr && hostParams_->request_flush != nullptr)
    hostParams_->request_flush(host_);
}

// ---------------------------------------------------------------------------------------------
// The plug-in record and its extensions

namespace {

ClapPlugin& self(const clap_plugin* plugin) { return *ClapPlugin::from(plugin); }

// [main-thread]
bool pluginInit(const clap_plugin* p) { return self(p).init(); }
void pluginDestroy(const clap_plugin* p) { delete ClapPlugin::from(p); }
bool pluginActivate(const clap_plugin* p, double rate, uint32_t minFrames, uint32_t maxFrames) {
  return self(p).activate(rate, minFrames, maxFrames);
}
void pluginDeactivate(const clap_plugin* p) { self(p).deactivate(); }
void pluginOnMainThread(const clap_plugin* p) { self(p).onMainThread(); }
// [audio-thread]
bool pluginStartProcessing(const clap_plugin* p) { return self(p).startProcessing(); }
void pluginStopProcessing(const clap_plugin* p) { self(p).stopProcessing(); }
void pluginReset(const clap_plugin* p) { self(p).reset(); }
clap_process_status pluginProcess(const clap_plugin* p, const clap_process* process) {
  return self(p).process(process);
}

// [main-thread] Ports: nothing in, one stereo pair out; one note input.
uint32_t audioPortCount(const clap_plugin*, bool isInput) { return isInput ? 0 : 1; }
bool audioPortGet(const clap_plugin*, uint32_t index, bool isInput, clap_audio_port_info* info) {
  if (isInput || index != 0 || info == nullptr) return false;
  *info = {};
  info->id = 0;
  copyName(info->name, "Output", sizeof info->name);
  info->flags = CLAP_AUDIO_PORT_IS_MAIN;
  info->channel_count = 2;
  info->port_type = CLAP_PORT_STEREO;
  info->in_place_pair = CLAP_INVALID_ID;
  return true;
}
const clap_plugin_audio_ports kAudioPorts = {audioPortCount, audioPortGet};

uint32_t notePortCount(const clap_plugin*, bool isInput) { return isInput ? 1 : 0; }
bool notePortGet(const clap_plugin*, uint32_t index, bool isInput, clap_note_port_info* info) {
  if (!isInput || index != 0 || info == nullptr) return false;
  *info = {};
  info->id = 0;
  info->supported_dialects = CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
  info->preferred_dialect = CLAP_NOTE_DIALECT_CLAP;
  copyName(info->name, "Notes", sizeof info->name);
  return true;
}
const clap_plugin_note_ports kNotePorts = {notePortCount, notePortGet};

// [main-thread] Parameters: ids are the indices, for good.
uint32_t paramCount(const clap_plugin*) { return static_cast<uint32_t>(kNumParams); }
bool paramInfo(const clap_plugin*, uint32_t index, clap_param_info* info) {
  if (!isParam(index) || info == nullptr) return false;
  *info = {};
  info->id = index;
  info->flags = CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_MODULATABLE;
  info->cookie = nullptr;
  copyName(info->name, kParameters[index].name, sizeof info->name);
  copyName(info->module, moduleOf(static_cast<int32_t>(index)), sizeof info->module);
  info->min_value = 0.0;
  info->max_value = 1.0;
  info->default_value = static_cast<double>(kParameters[index].initial);
  return true;
}
bool paramValue(const clap_plugin* p, clap_id id, double* value) { return self(p).getValue(id, value); }

// Six decimals, whatever the host's locale: text -> value -> text gives the text back, and the
// value comes back within 5e-7.
bool valueToText(const clap_plugin*, clap_id id, double value, char* text, uint32_t capacity) {
  if (!isParam(id) || text == nullptr || capacity == 0 || !std::isfinite(value)) return false;
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer - 1, value,
                                          std::chars_format::fixed, 6);
  if (error != std::errc() || static_cast<uint32_t>(end - buffer) >= capacity) return false;
  *end = '\0';
  std::memcpy(text, buffer, static_cast<size_t>(end - buffer) + 1);
  return true;
}
bool textToValue(const clap_plugin*, clap_id id, const char* text, double* value) {
  if (!isParam(id) || text == nullptr || value == nullptr) return false;
  const char* first = text;
  while (*first == ' ') ++first;
  const char* last = first + std::strlen(first);
  while (last > first && last[-1] == ' ') --last;
  double parsed = 0.0;
  const auto [end, error] = std::from_chars(first, last, parsed);
  if (error != std::errc() || end != last || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}
void paramFlush(const clap_plugin* p, const clap_input_events* in, const clap_output_events* out) {
  self(p).flush(in, out);
}
const clap_plugin_params kParams = {paramCount, paramInfo, paramValue,
                                    valueToText, textToValue, paramFlush};

// [main-thread]
bool stateSave(const clap_plugin* p, const clap_ostream* stream) { return self(p).save(stream); }
bool stateLoad(const clap_plugin* p, const clap_istream* stream) { return self(p).load(stream); }
const clap_plugin_state kState = {stateSave, stateLoad};

// [main-thread & active] Two voices, one note each.
bool voiceInfo(const clap_plugin*, clap_voice_info* info) {
  if (info == nullptr) return false;
  *info = {2, 2, 0};
  return true;
}
const clap_plugin_voice_info kVoiceInfo = {voiceInfo};

// [main-thread]
bool presetFromLocation(const clap_plugin* p, uint32_t kind, const char* location, const char* key) {
  return self(p).loadPreset(kind, location, key);
}
const clap_plugin_preset_load kPresetLoad = {presetFromLocation};

// The window system the panel embeds in.
#if defined(_WIN32)
constexpr const char* kGuiApi = CLAP_WINDOW_API_WIN32;
#else
constexpr const char* kGuiApi = CLAP_WINDOW_API_X11;
#endif

// [main-thread] An embedded panel of the size its scale gives: the host cannot resize it, but the
// host's set_scale and the user's choice on the panel size it (the panel asks the host through
// request_resize when that happens while it is open).
bool guiIsApiSupported(const clap_plugin*, const char* api, bool floating) {
  return !floating && api != nullptr && std::strcmp(api, kGuiApi) == 0;
}
bool guiPreferredApi(const clap_plugin*, const char** api, bool* floating) {
  if (api == nullptr || floating == nullptr) return false;
  *api = kGuiApi;
  *floating = false;
  return true;
}
bool guiCreate(const clap_plugin* p, const char* api, bool floating) {
  return guiIsApiSupported(p, api, floating) && self(p).guiCreate(api, floating);
}
void guiDestroy(const clap_plugin* p) { self(p).guiDestroy(); }
bool guiSetScale(const clap_plugin* p, double scale) { return self(p).guiSetScale(scale); }
bool guiGetSize(const clap_plugin* p, uint32_t* width, uint32_t* height) {
  if (width == nullptr || height == nullptr) return false;
  self(p).guiSize(*width, *height);
  return true;
}
bool guiCanResize(const clap_plugin*) { return false; }
bool guiResizeHints(const clap_plugin*, clap_gui_resize_hints* hints) {
  if (hints == nullptr) return false;
  *hints = {false, false, false, 0, 0};
  return true;
}
bool guiAdjustSize(const clap_plugin*, uint32_t*, uint32_t*) { return false; }
bool guiSetSize(const clap_plugin* p, uint32_t width, uint32_t height) {
  uint32_t w = 0, h = 0;
  self(p).guiSize(w, h);
  return width == w && height == h;
}
bool guiSetParent(const clap_plugin* p, const clap_window* window) {
  return self(p).guiSetParent(window);
}
bool guiSetTransient(const clap_plugin*, const clap_window*) { return false; }
void guiSuggestTitle(const clap_plugin*, const char*) {}
bool guiShow(const clap_plugin* p) { return self(p).guiShow(); }
bool guiHide(const clap_plugin* p) { return self(p).guiHide(); }
const clap_plugin_gui kGui = {guiIsApiSupported, guiPreferredApi, guiCreate,     guiDestroy,
                              guiSetScale,       guiGetSize,      guiCanResize,  guiResizeHints,
                              guiAdjustSize,     guiSetSize,      guiSetParent,  guiSetTransient,
                              guiSuggestTitle,   guiShow,         guiHide};

// [main-thread] The host's calls that pump the panel.
void onTimer(const clap_plugin* p, clap_id) { self(p).guiIdle(); }
const clap_plugin_timer_support kTimerSupport = {onTimer};
void onFd(const clap_plugin* p, int, uint32_t) { self(p).guiIdle(); }
const clap_plugin_posix_fd_support kFdSupport = {onFd};

// [thread-safe]
const void* pluginExtension(const clap_plugin*, const char* id) {
  if (id == nullptr) return nullptr;
  const auto is = [id](const char* name) { return std::strcmp(id, name) == 0; };
  if (is(CLAP_EXT_AUDIO_PORTS)) return &kAudioPorts;
  if (is(CLAP_EXT_NOTE_PORTS)) return &kNotePorts;
  if (is(CLAP_EXT_PARAMS)) return &kParams;
  if (is(CLAP_EXT_STATE)) return &kState;
  if (is(CLAP_EXT_VOICE_INFO)) return &kVoiceInfo;
  if (is(CLAP_EXT_PRESET_LOAD) || is(CLAP_EXT_PRESET_LOAD_COMPAT)) return &kPresetLoad;
  if (is(CLAP_EXT_GUI)) return &kGui;
  if (is(CLAP_EXT_TIMER_SUPPORT)) return &kTimerSupport;
#if !defined(_WIN32)
  if (is(CLAP_EXT_POSIX_FD_SUPPORT)) return &kFdSupport;
#endif
  return nullptr;
}

}  // namespace

ClapPlugin::ClapPlugin(const clap_host* host) : host_(host) {
  plugin_ = {&kDescriptor,          this,           pluginInit,           pluginDestroy,
             pluginActivate,        pluginDeactivate, pluginStartProcessing, pluginStopProcessing,
             pluginReset,           pluginProcess,  pluginExtension,      pluginOnMainThread};
  forgetNotes();
}

ClapPlugin::~ClapPlugin() { guiDestroy(); }

// Each host table is taken only when every function we call in it is there.
void ClapPlugin::readHostExtensions() {
  if (host_ == nullptr || host_->get_extension == nullptr) return;
  const auto get = [this](const char* id) { return host_->get_extension(host_, id); };
  if (const auto* params = static_cast<const clap_host_params*>(get(CLAP_EXT_PARAMS));
      params != nullptr && params->rescan != nullptr && params->request_flush != nullptr)
    hostParams_ = params;
  if (const auto* timers = static_cast<const clap_host_timer_support*>(get(CLAP_EXT_TIMER_SUPPORT));
      timers != nullptr && timers->register_timer != nullptr && timers->unregister_timer != nullptr)
    hostTimers_ = timers;
#if !defined(_WIN32)
  if (const auto* fds = static_cast<const clap_host_posix_fd_support*>(get(CLAP_EXT_POSIX_FD_SUPPORT));
      fds != nullptr && fds->register_fd != nullptr && fds->unregister_fd != nullptr)
    hostFds_ = fds;
#endif
  if (const auto* gui = static_cast<const clap_host_gui*>(get(CLAP_EXT_GUI));
      gui != nullptr && gui->request_resize != nullptr)
    hostGui_ = gui;
  const auto* presets = static_cast<const clap_host_preset_load*>(get(CLAP_EXT_PRESET_LOAD));
  if (presets == nullptr)
    presets = static_cast<const clap_host_preset_load*>(get(CLAP_EXT_PRESET_LOAD_COMPAT));
  if (presets != nullptr && presets->on_error != nullptr && presets->loaded != nullptr)
    hostPresetLoad_ = presets;
}

bool ClapPlugin::init() {
  readHostExtensions();
  return true;
}

bool ClapPlugin::activate(double rate, uint32_t, uint32_t maxFrames) {
  const auto rateF = static_cast<float>(rate);
  if (!(rate > 0.0) || maxFrames == 0 || !instrument_.setSampleRate(rateF)) return false;
  try {
    scratch_.assign(2 * static_cast<size_t>(maxFrames), 0.0f);
  } catch (const std::bad_alloc&) {
    return false;
  }
  maxFrames_ = maxFrames;
  instrument_.reset();
  forgetNotes();
  active_.store(true);
  return true;
}

void ClapPlugin::deactivate() {
  // Some hosts skip stop_processing first.
  processing_.store(false);
  active_.store(false);
}

bool ClapPlugin::startProcessing() {
  processing_.store(true);
  return true;
}

void ClapPlugin::stopProcessing() { processing_.store(false); }

void ClapPlugin::reset() {
  instrument_.reset();
  forgetNotes();
}

void ClapPlugin::forgetNotes() {
  freeCount_ = 0;
  for (int32_t i = kNoteRecords - 1; i >= 0; --i) {
    notes_[i].used = false;
    freeNotes_[freeCount_++] = i;
  }
}

void ClapPlugin::onMainThread() {
  if (panel_ != nullptr && panelBehind_.exchange(false)) {
    panel_->form().Timer1Timer();
    panel_->idle();
  }
}

// [audio-thread, or main-thread in flush] With a timer the panel polls the values itself; called
// on activity alone, it must be woken.
void ClapPlugin::valuesChangedByHost() {
  if (wakePanel_.load() && !panelBehind_.exchange(true) && host_->request_callback != nullptr)
    host_->request_callback(host_);
}

// [main-thread]
void ClapPlugin::refreshPanel() {
  if (panel_ != nullptr) panel_->form().Timer1Timer();
}

// ---------------------------------------------------------------------------------------------
// Processing

clap_process_status ClapPlugin::process(const clap_process* p) {
  if (p == nullptr || p->frames_count > maxFrames_ || maxFrames_ == 0) return CLAP_PROCESS_ERROR;
  const uint32_t frames = p->frames_count;
  out_ = p->out_events;
  if (frames == 0) {
    edits_.sendTo(out_);
    out_ = nullptr;
    return CLAP_PROCESS_CONTINUE;
  }
  // Our own buffers stand in for a missing output or one the host gives in doubles only.
  left_ = scratch_.data();
  right_ = scratch_.data() + maxFrames_;
  clap_audio_buffer* output = p->audio_outputs_count > 0 ? p->audio_outputs : nullptr;
  if (output != nullptr && output->data32 != nullptr && output->channel_count >= 1) {
    left_ = output->data32[0];
    right_ = output->channel_count >= 2 ? output->data32[1] : right_;
  }
  if (output != nullptr) output->constant_mask = 0;
  edits_.sendTo(out_);

  pieceStart_ = 0;
  hostValuesChanged_ = false;
  if (const clap_input_events* in = p->in_events; in != nullptr && in->size != nullptr && in->get != nullptr) {
    const uint32_t count = in->size(in);
    for (uint32_t i = 0; i < count; ++i)
      if (const clap_event_header* event = in->get(in, i)) takeEvent(event, frames);
  }
  renderUpTo(static_cast<int32_t>(frames));

  if (output != nullptr && output->data32 == nullptr && output->data64 != nullptr)
    for (uint32_t c = 0; c < output->channel_count && c < 2; ++c)
      for (uint32_t s = 0; s < frames; ++s)
        output->data64[c][s] = static_cast<double>((c == 0 ? left_ : right_)[s]);
  if (hostValuesChanged_) valuesChangedByHost();
  out_ = nullptr;
  return CLAP_PROCESS_CONTINUE;
}

void ClapPlugin::renderUpTo(int32_t frame) {
  if (frame <= pieceStart_) return;
  instrument_.processReplacing(left_ + pieceStart_, right_ + pieceStart_, frame - pieceStart_);
  for (int32_t i = 0; i < instrument_.voiceEndCount(); ++i)
    sendNoteEnd(pieceStart_ + instrument_.voiceEnds()[i].frame, instrument_.voiceEnds()[i].tag);
  pieceStart_ = frame;
}

void ClapPlugin::sendNoteEnd(int32_t time, int32_t tag) {
  const int32_t index = tag - 1;
  if (index < 0 || index >= kNoteRecords || !notes_[index].used) return;
  NoteRecord& note = notes_[index];
  note.used = false;
  freeNotes_[freeCount_++] = index;
  if (out_ == nullptr || out_->try_push == nullptr) return;
  clap_event_note end{};
  end.header = {sizeof end, static_cast<uint32_t>(time), CLAP_CORE_EVENT_SPACE_ID,
                CLAP_EVENT_NOTE_END, 0};
  end.note_id = note.noteId;
  end.port_index = note.port;
  end.channel = note.channel;
  end.key = note.key;
  end.velocity = 0.0;
  out_->try_push(out_, &end.header);
}

void ClapPlugin::takeEvent(const clap_event_header* event, uint32_t frames) {
  if (event->space_id != CLAP_CORE_EVENT_SPACE_ID) return;
  // Lists come in time order; a time before the piece in hand or past the block is clamped.
  int32_t time = static_cast<int32_t>(event->time < frames ? event->time : frames - 1);
  if (time < pieceStart_) time = pieceStart_;
  // When a queue of the core is full, the block so far is rendered and the queue starts again
  // at this event's frame (the same bits: the core renders a block cut anywhere alike). Only
  // more events than a queue holds at one frame are dropped.
  const auto room = [&](bool parameter) {
    const bool full = parameter ? instrument_.queuedParameters() >= VelaInstrument::kParameterChangeCapacity
                                : instrument_.queuedEvents() >= VelaInstrument::kEventCapacity;
    if (full) renderUpTo(time);
  };
  switch (event->type) {
    case CLAP_EVENT_NOTE_ON:
      if (const auto* note = as<clap_event_note>(event)) {
        room(false);
        if (!queueNoteOn(time - pieceStart_, *note)) {
          // Never sounded: its end goes out at once, as nothing before it is left to send.
          clap_event_note end = *note;
          end.header.time = static_cast<uint32_t>(time);
          end.header.type = CLAP_EVENT_NOTE_END;
          if (out_ != nullptr && out_->try_push != nullptr) out_->try_push(out_, &end.header);
        }
      }
      break;
    case CLAP_EVENT_NOTE_OFF:
    case CLAP_EVENT_NOTE_CHOKE:
      if (const auto* note = as<clap_event_note>(event)) {
        room(false);
        releaseMatching(time - pieceStart_, *note,
                        event->type == CLAP_EVENT_NOTE_OFF ? EngineEvent::NoteOff : EngineEvent::NoteChoke);
      }
      break;
    case CLAP_EVENT_MIDI:
      if (const auto* midi = as<clap_event_midi>(event)) {
        room(false);
        instrument_.queueMidi(time - pieceStart_, midi->data[0], midi->data[1], midi->data[2]);
      }
      break;
    case CLAP_EVENT_PARAM_VALUE:
      if (const auto* param = as<clap_event_param_value>(event); param != nullptr && isParam(param->param_id)) {
        float value = 0.0f;
        if (!unitRange(param->value, value)) break;
        room(true);
        instrument_.queueParameter(time - pieceStart_, static_cast<int32_t>(param->param_id), value);
        hostValuesChanged_ = true;
      }
      break;
    case CLAP_EVENT_PARAM_MOD:
      if (const auto* mod = as<clap_event_param_mod>(event); mod != nullptr && isParam(mod->param_id)) {
        if (!std::isfinite(mod->amount)) break;
        room(true);
        instrument_.queueModulation(time - pieceStart_, static_cast<int32_t>(mod->param_id),
                                    static_cast<float>(mod->amount));
      }
      break;
    default:
      break;
  }
}

bool ClapPlugin::queueNoteOn(int32_t frame, const clap_event_note& note) {
  if (note.key < 0 || note.key > 127 || freeCount_ == 0) return false;
  const int32_t index = freeNotes_[freeCount_ - 1];
  EngineEvent event{frame, EngineEvent::NoteOn, static_cast<uint8_t>(note.key),
                    midiVelocity(note.velocity), index + 1};
  if (!instrument_.queueEvent(event)) return false;
  --freeCount_;
  notes_[index] = {note.note_id, note.port_index, note.channel, note.key, true};
  return true;
}

void ClapPlugin::releaseMatching(int32_t frame, const clap_event_note& note, EngineEvent::Kind kind) {
  // The engine keys voices by note number alone (like MIDI on any channel): a key releases its
  // voices; a wildcard key releases the keys of the notes the rest of the address matches.
  if (note.key >= 0) {
    if (note.key <= 127)
      instrument_.queueEvent({frame, kind, static_cast<uint8_t>(note.key), 0});
    return;
  }
  bool keys[128] = {};
  for (const NoteRecord& held : notes_) {
    if (!held.used || keys[held.key]) continue;
    if ((note.note_id == -1 || note.note_id == held.noteId) &&
        (note.port_index == -1 || note.port_index == held.port) &&
        (note.channel == -1 || note.channel == held.channel)) {
      keys[held.key] = true;
      instrument_.queueEvent({frame, kind, static_cast<uint8_t>(held.key), 0});
    }
  }
}

void ClapPlugin::flush(const clap_input_events* in, const clap_output_events* out) {
  if (in != nullptr && in->size != nullptr && in->get != nullptr) {
    const uint32_t count = in->size(in);
    for (uint32_t i = 0; i < count; ++i) {
      const clap_event_header* event = in->get(in, i);
      if (event == nullptr || event->space_id != CLAP_CORE_EVENT_SPACE_ID) continue;
      if (const auto* param = event->type == CLAP_EVENT_PARAM_VALUE ? as<clap_event_param_value>(event) : nullptr;
          param != nullptr && isParam(param->param_id)) {
        float value = 0.0f;
        if (unitRange(param->value, value))
          instrument_.queueParameter(0, static_cast<int32_t>(param->param_id), value);
        hostValuesChanged_ = true;
      } else if (const auto* mod = event->type == CLAP_EVENT_PARAM_MOD ? as<clap_event_param_mod>(event) : nullptr;
                 mod != nullptr && isParam(mod->param_id) && std::isfinite(mod->amount)) {
        instrument_.queueModulation(0, static_cast<int32_t>(mod->param_id),
                                    static_cast<float>(mod->amount));
      }
      if (instrument_.queuedParameters() >= VelaInstrument::kParameterChangeCapacity)
        instrument_.processReplacing(nullptr, nullptr, 0);
    }
  }
  // Nothing is rendered: the changes are made at once, and queued notes wait for the next block.
  instrument_.processReplacing(nullptr, nullptr, 0);
  edits_.sendTo(out);
  if (hostValuesChanged_) valuesChangedByHost();
  hostValuesChanged_ = false;
}

// ---------------------------------------------------------------------------------------------
// Values, state and presets

bool ClapPlugin::getValue(clap_id id, double* value) const {
  if (!isParam(id) || value == nullptr) return false;
  *value = static_cast<double>(instrument_.bank().getParameter(static_cast<int32_t>(id)));
  return true;
}

bool ClapPlugin::save(const clap_ostream* stream) const {
  if (stream == nullptr || stream->write == nullptr) return false;
  // The bank's checked form, then the tuning's when there is one (VelaInstrument::saveState).
  const std::vector<uint8_t> bytes = instrument_.saveState();
  size_t done = 0;
  while (done < bytes.size()) {
    const int64_t wrote = stream->write(stream, bytes.data() + done, bytes.size() - done);
    if (wrote <= 0 || static_cast<uint64_t>(wrote) > bytes.size() - done) return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

bool ClapPlugin::load(const clap_istream* stream) {
  if (stream == nullptr || stream->read == nullptr) return false;
  // A stream that holds more than the largest state is not ours.
  std::vector<uint8_t> bytes(VelaInstrument::maxStateBytes() + 1);
  size_t got = 0;
  while (got < bytes.size()) {
    const int64_t read = stream->read(stream, bytes.data() + got, bytes.size() - got);
    if (read < 0 || static_cast<uint64_t>(read) > bytes.size() - got) return false;
    if (read == 0) break;
    got += static_cast<size_t>(read);
  }
  float before[kNumParams];
  for (int32_t i = 0; i < kNumParams; ++i) before[i] = instrument_.bank().getParameter(i);
  // A state saved before tunings plays in the instrument's own; anything refused changes nothing.
  if (!instrument_.restoreState(bytes.data(), got)) return false;
  rescanValues(before);
  refreshPanel();
  return true;
}

void ClapPlugin::rescanValues(const float (&before)[kNumParams]) const {
  bool changed = false;
  for (int32_t i = 0; i < kNumParams; ++i)
    changed = changed ||
              std::bit_cast<uint32_t>(before[i]) != std::bit_cast<uint32_t>(instrument_.bank().getParameter(i));
  if (changed && hostParams_ != nullptr) hostParams_->rescan(host_, CLAP_PARAM_RESCAN_VALUES);
}

bool ClapPlugin::loadPreset(uint32_t kind, const char* location, const char* key) {
  ProgramImage image{};
  std::string error;
  if (kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN && (location == nullptr || location[0] == '\0')) {
    // "factory/NN", NN the sound's two-digit number.
    int32_t n = -1;
    if (key != nullptr && std::strlen(key) == 10 && std::strncmp(key, "factory/", 8) == 0 &&
        key[8] >= '0' && key[8] <= '9' && key[9] >= '0' && key[9] <= '9')
      n = (key[8] - '0') * 10 + (key[9] - '0');
    if (n >= 0 && n < kFactorySoundCount) {
      const FactorySound& sound = kFactorySounds[static_cast<size_t>(n)];
      std::copy(std::begin(sound.values), std::end(sound.values), image.values);
      copyName(image.name, sound.name, sizeof image.name);
    } else {
      error = "no such factory sound";
    }
  } else if (kind == CLAP_PRESET_DISCOVERY_LOCATION_FILE && location != nullptr) {
    std::vector<uint8_t> bytes;
    if (std::FILE* file = std::fopen(location, "rb")) {
      uint8_t buffer[4096];
      size_t n = 0;
      while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 && bytes.size() <= kProgramFileBytes)
        bytes.insert(bytes.end(), buffer, buffer + n);
      std::fclose(file);
      FileReport report;
      if (!readProgramFile(bytes.data(), bytes.size(), image, report)) error = report.error;
    } else {
      error = "cannot open the file";
    }
  } else {
    error = "not a location of VelaOrin presets";
  }
  if (!error.empty()) {
    if (hostPresetLoad_ != nullptr)
      hostPresetLoad_->on_error(host_, kind, location, key, 0, error.c_str());
    return false;
  }
  float before[kNumParams];
  for (int32_t i = 0; i < kNumParams; ++i) before[i] = instrument_.bank().getParameter(i);
  instrument_.bank().restoreProgram(image);
  rescanValues(before);
  refreshPanel();
  if (hostPresetLoad_ != nullptr) hostPresetLoad_->loaded(host_, kind, location, key);
  return true;
}

}  // namespace velaclap
