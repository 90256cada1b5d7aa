// VelaOrin as a CLAP plug-in: the glue between the CLAP records and the instrument core. Notes,
// MIDI, parameter values and modulation go to the core at their frames; the core's voice-end
// reports come back as note ends; the bank and the tuning are the state; the panel edits
// through a link that queues its gestures for the host.
//
// Threads, as CLAP names them: [main-thread] is the host's one thread for the instance's life
// (the panel runs on it), [audio-thread] the one that processes (never two at once), and
// [thread-safe] any. The bank takes edits from both; the engine is the audio thread's, or the
// main thread's while the instance is inactive.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ClapInterface.h"
#include "ParameterLink.h"
#include "VelaInstrument.h"

class PanelWindow;

namespace velaclap {

using namespace clapi;

inline constexpr char kPluginId[] = "velaorin.VelaOrin";  // hosts store it: never changes
const clap_plugin_descriptor& pluginDescriptor();

// Panel edits on their way to the host: written on the main thread, read by whichever thread
// hands them over (process, or flush), never two readers at once. Fixed size, no locks.
class EditQueue {
 public:
  struct Edit {
    uint16_t type;  // CLAP_EVENT_PARAM_VALUE, _GESTURE_BEGIN or _GESTURE_END
    int32_t index;
    float value;
  };
  static constexpr uint32_t kCapacity = 1024;
  bool push(const Edit& edit);  // false when full: the value still reached the bank
  // Pushes the waiting edits to the host at time 0, in order; stops at the first it refuses.
  void sendTo(const clap_output_events* out);
  bool empty() const;

 private:
  Edit edits_[kCapacity] = {};
  std::atomic<uint32_t> written_{0}, read_{0};
};

class ClapPlugin {
 public:
  explicit ClapPlugin(const clap_host* host);
  ~ClapPlugin();
  ClapPlugin(const ClapPlugin&) = delete;
  ClapPlugin& operator=(const ClapPlugin&) = delete;

  const clap_plugin* clapPlugin() const { return &plugin_; }
  static ClapPlugin* from(const clap_plugin* plugin) {
    return static_cast<ClapPlugin*>(plugin->plugin_data);
  }

  // [main-thread]
  bool init();
  bool activate(double rate, uint32_t minFrames, uint32_t maxFrames);
  void deactivate();
  void onMainThread();
  // [audio-thread]
  bool startProcessing();
  void stopProcessing();
  void reset();
  clap_process_status process(const clap_process* process);
  // [active ? audio-thread : main-thread]
  void flush(const clap_input_events* in, const clap_output_events* out);

  // [main-thread]
  bool getValue(clap_id id, double* value) const;
  bool save(const clap_ostream* stream) const;
  bool load(const clap_istream* stream);
  bool loadPreset(uint32_t kind, const char* location, const char* key);

  // [main-thread] The panel: the GUI extension's calls (ClapGui.cpp).
  bool guiCreate(const char* api, bool floating);
  void guiDestroy();
  bool guiSetParent(const clap_window* window);
  bool guiShow();
  bool guiHide();
  void guiIdle();
  // The host's word on the panel's scale (ignored on Windows, whose panel keeps its size), and
  // the size the panel has or, before set_parent, will have.
  bool guiSetScale(double scale);
  void guiSize(uint32_t& width, uint32_t& height) const;
  // What the panel reads and writes.
  ParameterLink& panelLink() { return link_; }

  VelaInstrument& instrument() { return instrument_; }

 private:
  struct NoteRecord {  // a CLAP note-on waiting for its note end
    int32_t noteId;
    int16_t port, channel, key;
    bool used;
  };
  static constexpr int32_t kNoteRecords = VelaInstrument::kEventCapacity + kNumVoiceSlots + 2;

  class Link final : public ParameterLink {
   public:
    explicit Link(ClapPlugin& owner) : owner_(owner) {}
    float value(int32_t index) override;
    void automate(int32_t index, float value) override;
    void beginEdit(int32_t index) override;
    void endEdit(int32_t index) override;

   private:
    void send(uint16_t type, int32_t index, float value);
    ClapPlugin& owner_;
  };

  // [audio-thread] One block's events, rendered in pieces when the core's queues fill.
  void takeEvent(const clap_event_header* event, uint32_t frames);
  bool queueNoteOn(int32_t frame, const clap_event_note& note);
  void releaseMatching(int32_t frame, const clap_event_note& note, EngineEvent::Kind kind);
  void renderUpTo(int32_t frame);
  void sendNoteEnd(int32_t time, int32_t tag);
  void forgetNotes();
  void valuesChangedByHost();
  void refreshPanel();

  void readHostExtensions();
  void rescanValues(const float (&before)[kNumParams]) const;
  void requestFlushIfIdle();

  clap_plugin plugin_;
  const clap_host* host_;
  const clap_host_params* hostParams_ = nullptr;
  const clap_host_timer_support* hostTimers_ = nullptr;
  const clap_host_posix_fd_support* hostFds_ = nullptr;
  const clap_host_preset_load* hostPresetLoad_ = nullptr;
  const clap_host_gui* hostGui_ = nullptr;

  VelaInstrument instrument_;
  Link link_{*this};
  EditQueue edits_;
  std::atomic<bool> active_{false}, processing_{false};
  std::atomic<bool> panelBehind_{false};  // host values changed since the panel last looked
  std::atomic<bool> wakePanel_{false};    // a panel that no timer polls: wake it on host values

  // [audio-thread] The block in hand.
  float* left_ = nullptr;
  float* right_ = nullptr;
  int32_t pieceStart_ = 0;
  const clap_output_events* out_ = nullptr;
  bool hostValuesChanged_ = false;
  std::vector<float> scratch_;  // 2 * maxFrames, allocated in activate
  uint32_t maxFrames_ = 0;
  NoteRecord notes_[kNoteRecords] = {};
  int32_t freeNotes_[kNoteRecords] = {};
  int32_t freeCount_ = 0;

  // [main-thread] The panel.
  std::unique_ptr<PanelWindow> panel_;
  bool guiCreated_ = false;
  double hostScale_ = 0.0;  // set_scale's word; 0: none
  bool timerRegistered_ = false;
  clap_id timerId_ = CLAP_INVALID_ID;
  int registeredFd_ = -1;
};

// The factory library for hosts' preset browsers (ClapPresets.cpp).
void setPluginPath(const char* path);  // [entry init]
const clap_preset_discovery_factory& presetDiscoveryFactory();
// The installed program files' folder when it exists beside the plug-in, else empty.
const std::string& presetFolder();

}  // namespace velaclap
