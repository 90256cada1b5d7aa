// The part of the CLAP plug-in interface that VelaOrin.clap and our test hosts use, declared here
// from the interface's published facts (records, field offsets, ids and flags), with every record
// size and field offset checked below. Plain C layout: natural alignment, 1-byte bool, 8-byte
// pointers; every function takes its own object first. 64-bit builds only (x86-64 Linux and
// Windows, where the layouts were measured).
#pragma once

#include <cstddef>
#include <cstdint>

static_assert(sizeof(void*) == 8 && sizeof(bool) == 1, "the layouts below are the 64-bit ones");

namespace clapi {

using clap_id = uint32_t;
inline constexpr clap_id CLAP_INVALID_ID = 0xFFFFFFFFu;
inline constexpr uint32_t CLAP_NAME_SIZE = 256;
inline constexpr uint32_t CLAP_PATH_SIZE = 1024;
inline constexpr uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;

struct clap_version {
  uint32_t major, minor, revision;
};
// The interface release these declarations follow.
inline constexpr clap_version CLAP_VERSION = {1, 2, 10};

struct clap_host;
struct clap_plugin;

// --- Entry and plug-in factory -----------------------------------------------------------------

struct clap_plugin_entry {
  ::clapi::clap_version clap_version;
  bool (*init)(const char* plugin_path);
  void (*deinit)();
  const void* (*get_factory)(const char* factory_id);
};

struct clap_plugin_descriptor {
  ::clapi::clap_version clap_version;
  const char* id;
  const char* name;
  const char* vendor;
  const char* url;
  const char* manual_url;
  const char* support_url;
  const char* version;
  const char* description;
  const char* const* features;  // ends with a null
};

inline constexpr char CLAP_PLUGIN_FACTORY_ID[] = "clap.plugin-factory";
struct clap_plugin_factory {
  uint32_t (*get_plugin_count)(const clap_plugin_factory* factory);
  const clap_plugin_descriptor* (*get_plugin_descriptor)(const clap_plugin_factory* factory,
                                                         uint32_t index);
  const clap_plugin* (*create_plugin)(const clap_plugin_factory* factory, const clap_host* host,
                                      const char* plugin_id);
};

// --- Host and plug-in --------------------------------------------------------------------------

struct clap_host {
  ::clapi::clap_version clap_version;
  void* host_data;
  const char* name;
  const char* vendor;
  const char* url;
  const char* version;
  const void* (*get_extension)(const clap_host* host, const char* extension_id);
  void (*request_restart)(const clap_host* host);
  void (*request_process)(const clap_host* host);
  void (*request_callback)(const clap_host* host);
};

struct clap_process;

enum clap_process_status : int32_t {
  CLAP_PROCESS_ERROR = 0,
  CLAP_PROCESS_CONTINUE = 1,
  CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,
  CLAP_PROCESS_TAIL = 3,
  CLAP_PROCESS_SLEEP = 4,
};

struct clap_plugin {
  const clap_plugin_descriptor* desc;
  void* plugin_data;
  bool (*init)(const clap_plugin* plugin);
  void (*destroy)(const clap_plugin* plugin);
  bool (*activate)(const clap_plugin* plugin, double sample_rate, uint32_t min_frames_count,
                   uint32_t max_frames_count);
  void (*deactivate)(const clap_plugin* plugin);
  bool (*start_processing)(const clap_plugin* plugin);
  void (*stop_processing)(const clap_plugin* plugin);
  void (*reset)(const clap_plugin* plugin);
  clap_process_status (*process)(const clap_plugin* plugin, const clap_process* process);
  const void* (*get_extension)(const clap_plugin* plugin, const char* id);
  void (*on_main_thread)(const clap_plugin* plugin);
};

// --- Events --------------------------------------------------------------------------------------

enum : uint16_t {
  CLAP_EVENT_NOTE_ON = 0,
  CLAP_EVENT_NOTE_OFF = 1,
  CLAP_EVENT_NOTE_CHOKE = 2,
  CLAP_EVENT_NOTE_END = 3,
  CLAP_EVENT_NOTE_EXPRESSION = 4,
  CLAP_EVENT_PARAM_VALUE = 5,
  CLAP_EVENT_PARAM_MOD = 6,
  CLAP_EVENT_PARAM_GESTURE_BEGIN = 7,
  CLAP_EVENT_PARAM_GESTURE_END = 8,
  CLAP_EVENT_TRANSPORT = 9,
  CLAP_EVENT_MIDI = 10,
  CLAP_EVENT_MIDI_SYSEX = 11,
  CLAP_EVENT_MIDI2 = 12,
};
inline constexpr uint32_t CLAP_EVENT_IS_LIVE = 1u << 0;
inline constexpr uint32_t CLAP_EVENT_DONT_RECORD = 1u << 1;

struct clap_event_header {
  uint32_t size;  // the whole event
  uint32_t time;  // frame in the block
  uint16_t space_id;
  uint16_t type;
  uint32_t flags;
};

struct clap_event_note {
  clap_event_header header;
  int32_t note_id;  // -1: none or any
  int16_t port_index;
  int16_t channel;
  int16_t key;
  double velocity;  // 0..1
};

struct clap_event_note_expression {
  clap_event_header header;
  int32_t expression_id;
  int32_t note_id;
  int16_t port_index;
  int16_t channel;
  int16_t key;
  double value;
};

struct clap_event_param_value {
  clap_event_header header;
  clap_id param_id;
  void* cookie;
  int32_t note_id;
  int16_t port_index;
  int16_t channel;
  int16_t key;
  double value;
};

struct clap_event_param_mod {
  clap_event_header header;
  clap_id param_id;
  void* cookie;
  int32_t note_id;
  int16_t port_index;
  int16_t channel;
  int16_t key;
  double amount;
};

struct clap_event_param_gesture {
  clap_event_header header;
  clap_id param_id;
};

struct clap_event_transport {
  clap_event_header header;
  uint32_t flags;
  int64_t song_pos_beats;
  int64_t song_pos_seconds;
  double tempo;
  double tempo_inc;
  int64_t loop_start_beats;
  int64_t loop_end_beats;
  int64_t loop_start_seconds;
  int64_t loop_end_seconds;
  int64_t bar_start;
  int32_t bar_number;
  uint16_t tsig_num;
  uint16_t tsig_denom;
};

struct clap_event_midi {
  clap_event_header header;
  uint16_t port_index;
  uint8_t data[3];
};

struct clap_event_midi_sysex {
  clap_event_header header;
  uint16_t port_index;
  const uint8_t* buffer;
  uint32_t size;
};

struct clap_event_midi2 {
  clap_event_header header;
  uint16_t port_index;
  uint32_t data[4];
};

struct clap_input_events {
  void* ctx;
  uint32_t (*size)(const clap_input_events* list);
  const clap_event_header* (*get)(const clap_input_events* list, uint32_t index);
};

struct clap_output_events {
  void* ctx;
  bool (*try_push)(const clap_output_events* list, const clap_event_header* event);
};

// --- Process -------------------------------------------------------------------------------------

struct clap_audio_buffer {
  float** data32;
  double** data64;
  uint32_t channel_count;
  uint32_t latency;
  uint64_t constant_mask;
};

struct clap_process {
  int64_t steady_time;
  uint32_t frames_count;
  const clap_event_transport* transport;
  const clap_audio_buffer* audio_inputs;
  clap_audio_buffer* audio_outputs;
  uint32_t audio_inputs_count;
  uint32_t audio_outputs_count;
  const clap_input_events* in_events;
  const clap_output_events* out_events;
};

// --- Audio and note ports ------------------------------------------------------------------------

inline constexpr char CLAP_EXT_AUDIO_PORTS[] = "clap.audio-ports";
inline constexpr uint32_t CLAP_AUDIO_PORT_IS_MAIN = 1u << 0;
inline constexpr char CLAP_PORT_STEREO[] = "stereo";

struct clap_audio_port_info {
  clap_id id;
  char name[CLAP_NAME_SIZE];
  uint32_t flags;
  uint32_t channel_count;
  const char* port_type;
  clap_id in_place_pair;
};

struct clap_plugin_audio_ports {
  uint32_t (*count)(const clap_plugin* plugin, bool is_input);
  bool (*get)(const clap_plugin* plugin, uint32_t index, bool is_input, clap_audio_port_info* info);
};

inline constexpr char CLAP_EXT_NOTE_PORTS[] = "clap.note-ports";
inline constexpr uint32_t CLAP_NOTE_DIALECT_CLAP = 1u << 0;
inline constexpr uint32_t CLAP_NOTE_DIALECT_MIDI = 1u << 1;
inline constexpr uint32_t CLAP_NOTE_DIALECT_MIDI_MPE = 1u << 2;
inline constexpr uint32_t CLAP_NOTE_DIALECT_MIDI2 = 1u << 3;

struct clap_note_port_info {
  clap_id id;
  uint32_t supported_dialects;
  uint32_t preferred_dialect;
  char name[CLAP_NAME_SIZE];
};

struct clap_plugin_note_ports {
  uint32_t (*count)(const clap_plugin* plugin, bool is_input);
  bool (*get)(const clap_plugin* plugin, uint32_t index, bool is_input, clap_note_port_info* info);
};

// --- Parameters ----------------------------------------------------------------------------------

inline constexpr char CLAP_EXT_PARAMS[] = "clap.params";
inline constexpr uint32_t CLAP_PARAM_IS_STEPPED = 1u << 0;
inline constexpr uint32_t CLAP_PARAM_IS_READONLY = 1u << 3;
inline constexpr uint32_t CLAP_PARAM_IS_AUTOMATABLE = 1u << 5;
inline constexpr uint32_t CLAP_PARAM_IS_MODULATABLE = 1u << 10;
inline constexpr uint32_t CLAP_PARAM_RESCAN_VALUES = 1u << 0;
inline constexpr uint32_t CLAP_PARAM_RESCAN_TEXT = 1u << 1;
inline constexpr uint32_t CLAP_PARAM_RESCAN_INFO = 1u << 2;
inline constexpr uint32_t CLAP_PARAM_RESCAN_ALL = 1u << 3;

struct clap_param_info {
  clap_id id;
  uint32_t flags;
  void* cookie;
  char name[CLAP_NAME_SIZE];
  char module[CLAP_PATH_SIZE];
  double min_value;
  double max_value;
  double default_value;
};

struct clap_plugin_params {
  uint32_t (*count)(const clap_plugin* plugin);
  bool (*get_info)(const clap_plugin* plugin, uint32_t param_index, clap_param_info* info);
  bool (*get_value)(const clap_plugin* plugin, clap_id param_id, double* value);
  bool (*value_to_text)(const clap_plugin* plugin, clap_id param_id, double value, char* text,
                        uint32_t capacity);
  bool (*text_to_value)(const clap_plugin* plugin, clap_id param_id, const char* text,
                        double* value);
  void (*flush)(const clap_plugin* plugin, const clap_input_events* in,
                const clap_output_events* out);
};

struct clap_host_params {
  void (*rescan)(const clap_host* host, uint32_t flags);
  void (*clear)(const clap_host* host, clap_id param_id, uint32_t flags);
  void (*request_flush)(const clap_host* host);
};

// --- State ---------------------------------------------------------------------------------------

inline constexpr char CLAP_EXT_STATE[] = "clap.state";

struct clap_istream {
  void* ctx;
  int64_t (*read)(const clap_istream* stream, void* buffer, uint64_t size);  // 0 end, -1 error
};
struct clap_ostream {
  void* ctx;
  int64_t (*write)(const clap_ostream* stream, const void* buffer, uint64_t size);  // -1 error
};

struct clap_plugin_state {
  bool (*save)(const clap_plugin* plugin, const clap_ostream* stream);
  bool (*load)(const clap_plugin* plugin, const clap_istream* stream);
};

struct clap_host_state {
  void (*mark_dirty)(const clap_host* host);
};

// --- GUI, timers, file descriptors ---------------------------------------------------------------

inline constexpr char CLAP_EXT_GUI[] = "clap.gui";
inline constexpr char CLAP_WINDOW_API_X11[] = "x11";
inline constexpr char CLAP_WINDOW_API_WIN32[] = "win32";

struct clap_window {
  const char* api;
  union {
    unsigned long x11;  // X window id (64 bits on Linux; the union is 8 bytes either way)
    void* win32;        // HWND
    void* cocoa;
    void* ptr;
  };
};

struct clap_gui_resize_hints {
  bool can_resize_horizontally;
  bool can_resize_vertically;
  bool preserve_aspect_ratio;
  uint32_t aspect_ratio_width;
  uint32_t aspect_ratio_height;
};

struct clap_plugin_gui {
  bool (*is_api_supported)(const clap_plugin* plugin, const char* api, bool is_floating);
  bool (*get_preferred_api)(const clap_plugin* plugin, const char** api, bool* is_floating);
  bool (*create)(const clap_plugin* plugin, const char* api, bool is_floating);
  void (*destroy)(const clap_plugin* plugin);
  bool (*set_scale)(const clap_plugin* plugin, double scale);
  bool (*get_size)(const clap_plugin* plugin, uint32_t* width, uint32_t* height);
  bool (*can_resize)(const clap_plugin* plugin);
  bool (*get_resize_hints)(const clap_plugin* plugin, clap_gui_resize_hints* hints);
  bool (*adjust_size)(const clap_plugin* plugin, uint32_t* width, uint32_t* height);
  bool (*set_size)(const clap_plugin* plugin, uint32_t width, uint32_t height);
  bool (*set_parent)(const clap_plugin* plugin, const clap_window* window);
  bool (*set_transient)(const clap_plugin* plugin, const clap_window* window);
  void (*suggest_title)(const clap_plugin* plugin, const char* title);
  bool (*show)(const clap_plugin* plugin);
  bool (*hide)(const clap_plugin* plugin);
};

struct clap_host_gui {
  void (*resize_hints_changed)(const clap_host* host);
  bool (*request_resize)(const clap_host* host, uint32_t width, uint32_t height);
  bool (*request_show)(const clap_host* host);
  bool (*request_hide)(const clap_host* host);
  void (*closed)(const clap_host* host, bool was_destroyed);
};

inline constexpr char CLAP_EXT_TIMER_SUPPORT[] = "clap.timer-support";
struct clap_plugin_timer_support {
  void (*on_timer)(const clap_plugin* plugin, clap_id timer_id);
};
struct clap_host_timer_support {
  bool (*register_timer)(const clap_host* host, uint32_t period_ms, clap_id* timer_id);
  bool (*unregister_timer)(const clap_host* host, clap_id timer_id);
};

inline constexpr char CLAP_EXT_POSIX_FD_SUPPORT[] = "clap.posix-fd-support";
inline constexpr uint32_t CLAP_POSIX_FD_READ = 1u << 0;
inline constexpr uint32_t CLAP_POSIX_FD_WRITE = 1u << 1;
inline constexpr uint32_t CLAP_POSIX_FD_ERROR = 1u << 2;
struct clap_plugin_posix_fd_support {
  void (*on_fd)(const clap_plugin* plugin, int fd, uint32_t flags);
};
struct clap_host_posix_fd_support {
  bool (*register_fd)(const clap_host* host, int fd, uint32_t flags);
  bool (*modify_fd)(const clap_host* host, int fd, uint32_t flags);
  bool (*unregister_fd)(const clap_host* host, int fd);
};

// --- Voice info ----------------------------------------------------------------------------------

inline constexpr char CLAP_EXT_VOICE_INFO[] = "clap.voice-info";
struct clap_voice_info {
  uint32_t voice_count;
  uint32_t voice_capacity;
  uint64_t flags;
};
struct clap_plugin_voice_info {
  bool (*get)(const clap_plugin* plugin, clap_voice_info* info);
};

// --- Preset discovery and preset loading ---------------------------------------------------------

inline constexpr char CLAP_PRESET_DISCOVERY_FACTORY_ID[] = "clap.preset-discovery-factory/2";
inline constexpr char CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT[] =
    "clap.preset-discovery-factory/draft-2";
inline constexpr char CLAP_EXT_PRESET_LOAD[] = "clap.preset-load/2";
inline constexpr char CLAP_EXT_PRESET_LOAD_COMPAT[] = "clap.preset-load.draft/2";

enum : uint32_t {
  CLAP_PRESET_DISCOVERY_LOCATION_FILE = 0,
  CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN = 1,
};
inline constexpr uint32_t CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT = 1u << 0;
inline constexpr uint32_t CLAP_PRESET_DISCOVERY_IS_USER_CONTENT = 1u << 1;

struct clap_universal_plugin_id {
  const char* abi;  // "clap"
  const char* id;
};

struct clap_preset_discovery_metadata_receiver {
  void* receiver_data;
  void (*on_error)(const clap_preset_discovery_metadata_receiver* receiver, int32_t os_error,
                   const char* error_message);
  bool (*begin_preset)(const clap_preset_discovery_metadata_receiver* receiver, const char* name,
                       const char* load_key);
  void (*add_plugin_id)(const clap_preset_discovery_metadata_receiver* receiver,
                        const clap_universal_plugin_id* plugin_id);
  void (*set_soundpack_id)(const clap_preset_discovery_metadata_receiver* receiver,
                           const char* soundpack_id);
  void (*set_flags)(const clap_preset_discovery_metadata_receiver* receiver, uint32_t flags);
  void (*add_creator)(const clap_preset_discovery_metadata_receiver* receiver, const char* creator);
  void (*set_description)(const clap_preset_discovery_metadata_receiver* receiver,
                          const char* description);
  void (*set_timestamps)(const clap_preset_discovery_metadata_receiver* receiver,
                         uint64_t creation_time, uint64_t modification_time);
  void (*add_feature)(const clap_preset_discovery_metadata_receiver* receiver, const char* feature);
  void (*add_extra_info)(const clap_preset_discovery_metadata_receiver* receiver, const char* key,
                         const char* value);
};

struct clap_preset_discovery_filetype {
  const char* name;
  const char* description;
  const char* file_extension;  // without the dot
};

struct clap_preset_discovery_location {
  uint32_t flags;
  const char* name;
  uint32_t kind;
  const char* location;  // FILE: an absolute path; PLUGIN: null
};

struct clap_preset_discovery_soundpack {
  uint32_t flags;
  const char* id;
  const char* name;
  const char* description;
  const char* homepage_url;
  const char* vendor;
  const char* image_path;
  uint64_t release_timestamp;
};

struct clap_preset_discovery_provider_descriptor {
  ::clapi::clap_version clap_version;
  const char* id;
  const char* name;
  const char* vendor;
};

struct clap_preset_discovery_provider {
  const clap_preset_discovery_provider_descriptor* desc;
  void* provider_data;
  bool (*init)(const clap_preset_discovery_provider* provider);
  void (*destroy)(const clap_preset_discovery_provider* provider);
  bool (*get_metadata)(const clap_preset_discovery_provider* provider, uint32_t location_kind,
                       const char* location,
                       const clap_preset_discovery_metadata_receiver* metadata_receiver);
  const void* (*get_extension)(const clap_preset_discovery_provider* provider,
                               const char* extension_id);
};

struct clap_preset_discovery_indexer {
  ::clapi::clap_version clap_version;
  const char* name;
  const char* vendor;
  const char* url;
  const char* version;
  void* indexer_data;
  bool (*declare_filetype)(const clap_preset_discovery_indexer* indexer,
                           const clap_preset_discovery_filetype* filetype);
  bool (*declare_location)(const clap_preset_discovery_indexer* indexer,
                           const clap_preset_discovery_location* location);
  bool (*declare_soundpack)(const clap_preset_discovery_indexer* indexer,
                            const clap_preset_discovery_soundpack* soundpack);
  const void* (*get_extension)(const clap_preset_discovery_indexer* indexer,
                               const char* extension_id);
};

struct clap_preset_discovery_factory {
  uint32_t (*count)(const clap_preset_discovery_factory* factory);
  const clap_preset_discovery_provider_descriptor* (*get_descriptor)(
      const clap_preset_discovery_factory* factory, uint32_t index);
  const clap_preset_discovery_provider* (*create)(const clap_preset_discovery_factory* factory,
                                                  const clap_preset_discovery_indexer* indexer,
                                                  const char* provider_id);
};

struct clap_plugin_preset_load {
  bool (*from_location)(const clap_plugin* plugin, uint32_t location_kind, const char* location,
                        const char* load_key);
};

struct clap_host_preset_load {
  void (*on_error)(const clap_host* host, uint32_t location_kind, const char* location,
                   const char* load_key, int32_t os_error, const char* msg);
  void (*loaded)(const clap_host* host, uint32_t location_kind, const char* location,
                 const char* load_key);
};

// --- The layouts, as measured -------------------------------------------------------------------

#define VELA_CLAP_LAYOUT(type, size) static_assert(sizeof(type) == (size), #type " size")
#define VELA_CLAP_AT(type, field, offset) \
  static_assert(offsetof(type, field) == (offset), #type "." #field " offset")

VELA_CLAP_LAYOUT(clap_version, 12);
VELA_CLAP_LAYOUT(clap_plugin_entry, 40);
VELA_CLAP_AT(clap_plugin_entry, init, 16);
VELA_CLAP_AT(clap_plugin_entry, deinit, 24);
VELA_CLAP_AT(clap_plugin_entry, get_factory, 32);
VELA_CLAP_LAYOUT(clap_plugin_factory, 24);
VELA_CLAP_LAYOUT(clap_plugin_descriptor, 88);
VELA_CLAP_AT(clap_plugin_descriptor, id, 16);
VELA_CLAP_AT(clap_plugin_descriptor, name, 24);
VELA_CLAP_AT(clap_plugin_descriptor, vendor, 32);
VELA_CLAP_AT(clap_plugin_descriptor, url, 40);
VELA_CLAP_AT(clap_plugin_descriptor, manual_url, 48);
VELA_CLAP_AT(clap_plugin_descriptor, support_url, 56);
VELA_CLAP_AT(clap_plugin_descriptor, version, 64);
VELA_CLAP_AT(clap_plugin_descriptor, description, 72);
VELA_CLAP_AT(clap_plugin_descriptor, features, 80);
VELA_CLAP_LAYOUT(clap_plugin, 96);
VELA_CLAP_AT(clap_plugin, plugin_data, 8);
VELA_CLAP_AT(clap_plugin, init, 16);
VELA_CLAP_AT(clap_plugin, destroy, 24);
VELA_CLAP_AT(clap_plugin, activate, 32);
VELA_CLAP_AT(clap_plugin, deactivate, 40);
VELA_CLAP_AT(clap_plugin, start_processing, 48);
VELA_CLAP_AT(clap_plugin, stop_processing, 56);
VELA_CLAP_AT(clap_plugin, reset, 64);
VELA_CLAP_AT(clap_plugin, process, 72);
VELA_CLAP_AT(clap_plugin, get_extension, 80);
VELA_CLAP_AT(clap_plugin, on_main_thread, 88);
VELA_CLAP_LAYOUT(clap_host, 88);
VELA_CLAP_AT(clap_host, host_data, 16);
VELA_CLAP_AT(clap_host, name, 24);
VELA_CLAP_AT(clap_host, vendor, 32);
VELA_CLAP_AT(clap_host, url, 40);
VELA_CLAP_AT(clap_host, version, 48);
VELA_CLAP_AT(clap_host, get_extension, 56);
VELA_CLAP_AT(clap_host, request_restart, 64);
VELA_CLAP_AT(clap_host, request_process, 72);
VELA_CLAP_AT(clap_host, request_callback, 80);

VELA_CLAP_LAYOUT(clap_process, 64);
VELA_CLAP_AT(clap_process, steady_time, 0);
VELA_CLAP_AT(clap_process, frames_count, 8);
VELA_CLAP_AT(clap_process, transport, 16);
VELA_CLAP_AT(clap_process, audio_inputs, 24);
VELA_CLAP_AT(clap_process, audio_outputs, 32);
VELA_CLAP_AT(clap_process, audio_inputs_count, 40);
VELA_CLAP_AT(clap_process, audio_outputs_count, 44);
VELA_CLAP_AT(clap_process, in_events, 48);
VELA_CLAP_AT(clap_process, out_events, 56);
VELA_CLAP_LAYOUT(clap_audio_buffer, 32);
VELA_CLAP_AT(clap_audio_buffer, data64, 8);
VELA_CLAP_AT(clap_audio_buffer, channel_count, 16);
VELA_CLAP_AT(clap_audio_buffer, latency, 20);
VELA_CLAP_AT(clap_audio_buffer, constant_mask, 24);
VELA_CLAP_LAYOUT(clap_input_events, 24);
VELA_CLAP_AT(clap_input_events, size, 8);
VELA_CLAP_AT(clap_input_events, get, 16);
VELA_CLAP_LAYOUT(clap_output_events, 16);
VELA_CLAP_AT(clap_output_events, try_push, 8);

VELA_CLAP_LAYOUT(clap_event_header, 16);
VELA_CLAP_AT(clap_event_header, time, 4);
VELA_CLAP_AT(clap_event_header, space_id, 8);
VELA_CLAP_AT(clap_event_header, type, 10);
VELA_CLAP_AT(clap_event_header, flags, 12);
VELA_CLAP_LAYOUT(clap_event_note, 40);
VELA_CLAP_AT(clap_event_note, note_id, 16);
VELA_CLAP_AT(clap_event_note, port_index, 20);
VELA_CLAP_AT(clap_event_note, channel, 22);
VELA_CLAP_AT(clap_event_note, key, 24);
VELA_CLAP_AT(clap_event_note, velocity, 32);
VELA_CLAP_LAYOUT(clap_event_note_expression, 40);
VELA_CLAP_AT(clap_event_note_expression, expression_id, 16);
VELA_CLAP_AT(clap_event_note_expression, note_id, 20);
VELA_CLAP_AT(clap_event_note_expression, port_index, 24);
VELA_CLAP_AT(clap_event_note_expression, channel, 26);
VELA_CLAP_AT(clap_event_note_expression, key, 28);
VELA_CLAP_AT(clap_event_note_expression, value, 32);
VELA_CLAP_LAYOUT(clap_event_param_value, 56);
VELA_CLAP_AT(clap_event_param_value, param_id, 16);
VELA_CLAP_AT(clap_event_param_value, cookie, 24);
VELA_CLAP_AT(clap_event_param_value, note_id, 32);
VELA_CLAP_AT(clap_event_param_value, port_index, 36);
VELA_CLAP_AT(clap_event_param_value, channel, 38);
VELA_CLAP_AT(clap_event_param_value, key, 40);
VELA_CLAP_AT(clap_event_param_value, value, 48);
VELA_CLAP_LAYOUT(clap_event_param_mod, 56);
VELA_CLAP_AT(clap_event_param_mod, param_id, 16);
VELA_CLAP_AT(clap_event_param_mod, cookie, 24);
VELA_CLAP_AT(clap_event_param_mod, note_id, 32);
VELA_CLAP_AT(clap_event_param_mod, port_index, 36);
VELA_CLAP_AT(clap_event_param_mod, channel, 38);
VELA_CLAP_AT(clap_event_param_mod, key, 40);
VELA_CLAP_AT(clap_event_param_mod, amount, 48);
VELA_CLAP_LAYOUT(clap_event_param_gesture, 20);
VELA_CLAP_AT(clap_event_param_gesture, param_id, 16);
VELA_CLAP_LAYOUT(clap_event_transport, 104);
VELA_CLAP_AT(clap_event_transport, flags, 16);
VELA_CLAP_AT(clap_event_transport, song_pos_beats, 24);
VELA_CLAP_AT(clap_event_transport, song_pos_seconds, 32);
VELA_CLAP_AT(clap_event_transport, tempo, 40);
VELA_CLAP_AT(clap_event_transport, tempo_inc, 48);
VELA_CLAP_AT(clap_event_transport, loop_start_beats, 56);
VELA_CLAP_AT(clap_event_transport, loop_end_beats, 64);
VELA_CLAP_AT(clap_event_transport, loop_start_seconds, 72);
VELA_CLAP_AT(clap_event_transport, loop_end_seconds, 80);
VELA_CLAP_AT(clap_event_transport, bar_start, 88);
VELA_CLAP_AT(clap_event_transport, bar_number, 96);
VELA_CLAP_AT(clap_event_transport, tsig_num, 100);
VELA_CLAP_AT(clap_event_transport, tsig_denom, 102);
VELA_CLAP_LAYOUT(clap_event_midi, 24);
static_assert(alignof(clap_event_midi) == 4);
VELA_CLAP_AT(clap_event_midi, port_index, 16);
VELA_CLAP_AT(clap_event_midi, data, 18);
VELA_CLAP_LAYOUT(clap_event_midi_sysex, 40);
VELA_CLAP_AT(clap_event_midi_sysex, port_index, 16);
VELA_CLAP_AT(clap_event_midi_sysex, buffer, 24);
VELA_CLAP_AT(clap_event_midi_sysex, size, 32);
VELA_CLAP_LAYOUT(clap_event_midi2, 36);
static_assert(alignof(clap_event_midi2) == 4);
VELA_CLAP_AT(clap_event_midi2, port_index, 16);
VELA_CLAP_AT(clap_event_midi2, data, 20);

VELA_CLAP_LAYOUT(clap_plugin_audio_ports, 16);
VELA_CLAP_LAYOUT(clap_audio_port_info, 288);
VELA_CLAP_AT(clap_audio_port_info, name, 4);
VELA_CLAP_AT(clap_audio_port_info, flags, 260);
VELA_CLAP_AT(clap_audio_port_info, channel_count, 264);
VELA_CLAP_AT(clap_audio_port_info, port_type, 272);
VELA_CLAP_AT(clap_audio_port_info, in_place_pair, 280);
VELA_CLAP_LAYOUT(clap_note_port_info, 268);
static_assert(alignof(clap_note_port_info) == 4);
VELA_CLAP_AT(clap_note_port_info, supported_dialects, 4);
VELA_CLAP_AT(clap_note_port_info, preferred_dialect, 8);
VELA_CLAP_AT(clap_note_port_info, name, 12);
VELA_CLAP_LAYOUT(clap_plugin_params, 48);
VELA_CLAP_LAYOUT(clap_param_info, 1320);
VELA_CLAP_AT(clap_param_info, flags, 4);
VELA_CLAP_AT(clap_param_info, cookie, 8);
VELA_CLAP_AT(clap_param_info, name, 16);
VELA_CLAP_AT(clap_param_info, module, 272);
VELA_CLAP_AT(clap_param_info, min_value, 1296);
VELA_CLAP_AT(clap_param_info, max_value, 1304);
VELA_CLAP_AT(clap_param_info, default_value, 1312);
VELA_CLAP_LAYOUT(clap_istream, 16);
VELA_CLAP_AT(clap_istream, read, 8);
VELA_CLAP_LAYOUT(clap_ostream, 16);
VELA_CLAP_AT(clap_ostream, write, 8);
VELA_CLAP_LAYOUT(clap_plugin_gui, 120);
VELA_CLAP_LAYOUT(clap_window, 16);
VELA_CLAP_AT(clap_window, x11, 8);
VELA_CLAP_LAYOUT(clap_gui_resize_hints, 12);
VELA_CLAP_AT(clap_gui_resize_hints, can_resize_vertically, 1);
VELA_CLAP_AT(clap_gui_resize_hints, preserve_aspect_ratio, 2);
VELA_CLAP_AT(clap_gui_resize_hints, aspect_ratio_width, 4);
VELA_CLAP_AT(clap_gui_resize_hints, aspect_ratio_height, 8);
VELA_CLAP_LAYOUT(clap_host_gui, 40);
VELA_CLAP_LAYOUT(clap_voice_info, 16);
VELA_CLAP_AT(clap_voice_info, voice_capacity, 4);
VELA_CLAP_AT(clap_voice_info, flags, 8);

VELA_CLAP_LAYOUT(clap_preset_discovery_factory, 24);
VELA_CLAP_LAYOUT(clap_preset_discovery_provider_descriptor, 40);
VELA_CLAP_AT(clap_preset_discovery_provider_descriptor, id, 16);
VELA_CLAP_AT(clap_preset_discovery_provider_descriptor, name, 24);
VELA_CLAP_AT(clap_preset_discovery_provider_descriptor, vendor, 32);
VELA_CLAP_LAYOUT(clap_preset_discovery_provider, 48);
VELA_CLAP_AT(clap_preset_discovery_provider, provider_data, 8);
VELA_CLAP_AT(clap_preset_discovery_provider, init, 16);
VELA_CLAP_AT(clap_preset_discovery_provider, destroy, 24);
VELA_CLAP_AT(clap_preset_discovery_provider, get_metadata, 32);
VELA_CLAP_AT(clap_preset_discovery_provider, get_extension, 40);
VELA_CLAP_LAYOUT(clap_preset_discovery_indexer, 88);
VELA_CLAP_AT(clap_preset_discovery_indexer, name, 16);
VELA_CLAP_AT(clap_preset_discovery_indexer, vendor, 24);
VELA_CLAP_AT(clap_preset_discovery_indexer, url, 32);
VELA_CLAP_AT(clap_preset_discovery_indexer, version, 40);
VELA_CLAP_AT(clap_preset_discovery_indexer, indexer_data, 48);
VELA_CLAP_AT(clap_preset_discovery_indexer, declare_filetype, 56);
VELA_CLAP_AT(clap_preset_discovery_indexer, declare_location, 64);
VELA_CLAP_AT(clap_preset_discovery_indexer, declare_soundpack, 72);
VELA_CLAP_AT(clap_preset_discovery_indexer, get_extension, 80);
VELA_CLAP_LAYOUT(clap_preset_discovery_filetype, 24);
VELA_CLAP_AT(clap_preset_discovery_filetype, description, 8);
VELA_CLAP_AT(clap_preset_discovery_filetype, file_extension, 16);
VELA_CLAP_LAYOUT(clap_preset_discovery_location, 32);
VELA_CLAP_AT(clap_preset_discovery_location, name, 8);
VELA_CLAP_AT(clap_preset_discovery_location, kind, 16);
VELA_CLAP_AT(clap_preset_discovery_location, location, 24);
VELA_CLAP_LAYOUT(clap_preset_discovery_soundpack, 64);
VELA_CLAP_AT(clap_preset_discovery_soundpack, id, 8);
VELA_CLAP_AT(clap_preset_discovery_soundpack, name, 16);
VELA_CLAP_AT(clap_preset_discovery_soundpack, description, 24);
VELA_CLAP_AT(clap_preset_discovery_soundpack, homepage_url, 32);
VELA_CLAP_AT(clap_preset_discovery_soundpack, vendor, 40);
VELA_CLAP_AT(clap_preset_discovery_soundpack, image_path, 48);
VELA_CLAP_AT(clap_preset_discovery_soundpack, release_timestamp, 56);
VELA_CLAP_LAYOUT(clap_preset_discovery_metadata_receiver, 88);
VELA_CLAP_AT(clap_preset_discovery_metadata_receiver, on_error, 8);
VELA_CLAP_AT(clap_preset_discovery_metadata_receiver, begin_preset, 16);
VELA_CLAP_AT(clap_preset_discovery_metadata_receiver, add_plugin_id, 24);
VELA_CLAP_AT(clap_preset_discovery_metadata_receiver, set_soundpack_id, 32);
VELA_CLAP_AT(clap_preset_discovery_metadata_receiver, set_flags, 40);
VELA_CLAP_AT(clap_preset_discovery_metadata_receiver, add_creator, 48);
VELA_CLAP_AT(clap_preset_discovery_metadata_receiver, set_description, 56);
VELA_CLAP_AT(clap_preset_discovery_metadata_receiver, set_timestamps, 64);
VELA_CLAP_AT(clap_preset_discovery_metadata_receiver, add_feature, 72);
VELA_CLAP_AT(clap_preset_discovery_metadata_receiver, add_extra_info, 80);
VELA_CLAP_LAYOUT(clap_universal_plugin_id, 16);
VELA_CLAP_AT(clap_universal_plugin_id, id, 8);
VELA_CLAP_LAYOUT(clap_plugin_preset_load, 8);
VELA_CLAP_LAYOUT(clap_host_preset_load, 16);
VELA_CLAP_AT(clap_host_preset_load, loaded, 8);

#undef VELA_CLAP_LAYOUT
#undef VELA_CLAP_AT

}  // namespace clapi
