#include "ClapWorkload.h"

#include <algorithm>
#include <cstring>

#include "ProgramBank.h"

using namespace clapi;

namespace {

const void* noExtension(const clap_host*, const char*) { return nullptr; }
void noRequest(const clap_host*) {}

struct Bytes {
  std::vector<uint8_t> data;
  size_t at = 0;
};

}  // namespace

ClapWorkload::ClapWorkload(const std::string& path, int32_t program, int32_t eventSpacing)
    : Workload(eventSpacing), module_(path), program_(program) {
  if (!module_.loaded()) {
    error_ = "cannot open " + path + " as a CLAP plug-in";
    return;
  }
  host_ = {CLAP_VERSION, nullptr, "velaorin-speed", "", "", "1", noExtension, noRequest, noRequest, noRequest};
  const clap_plugin_factory* factory = module_.pluginFactory();
  const clap_plugin_descriptor* descriptor = factory != nullptr ? factory->get_plugin_descriptor(factory, 0) : nullptr;
  plugin_ = descriptor != nullptr ? factory->create_plugin(factory, &host_, descriptor->id) : nullptr;
  if (plugin_ == nullptr || !plugin_->init(plugin_)) {
    error_ = "no instance from " + path;
    plugin_ = nullptr;
    return;
  }
  // The program chosen as a host would restore it: a state of the bank with it current.
  ProgramBank bank;
  bank.setProgram(program);
  Bytes state{encodeBank(bank.bankImage())};
  clap_istream in{&state, [](const clap_istream* s, void* buffer, uint64_t size) -> int64_t {
                    auto& b = *static_cast<Bytes*>(s->ctx);
                    const size_t n = std::min(static_cast<size_t>(size), b.data.size() - b.at);
                    std::memcpy(buffer, b.data.data() + b.at, n);
                    b.at += n;
                    return static_cast<int64_t>(n);
                  }};
  const auto* stateExtension = static_cast<const clap_plugin_state*>(plugin_->get_extension(plugin_, CLAP_EXT_STATE));
  const auto* params = static_cast<const clap_plugin_params*>(plugin_->get_extension(plugin_, CLAP_EXT_PARAMS));
  if (stateExtension == nullptr || !stateExtension->load(plugin_, &in) || params == nullptr ||
      !plugin_->activate(plugin_, kSampleRate, 1, kBlockSize) || !plugin_->start_processing(plugin_)) {
    error_ = "the instance did not start";
    plugin_->destroy(plugin_);
    plugin_ = nullptr;
    return;
  }
  double r = 0.0;
  params->get_value(plugin_, 7, &r);  // "R"
  params->get_value(plugin_, 8, &cutoff_);
  notes_.resize(1);
  if (eventSpacing_ > 0) values_.resize(static_cast<size_t>((kBlockSize - 1) / eventSpacing_));
  events_.reserve(notes_.size() + values_.size());
  warmUp(r);
}

ClapWorkload::~ClapWorkload() {
  if (plugin_ == nullptr) return;
  plugin_->stop_processing(plugin_);
  plugin_->deactivate(plugin_);
  plugin_->destroy(plugin_);
}

std::string ClapWorkload::programName() {
  ProgramBank bank;
  char name[kProgramNameBytes] = {};
  bank.getProgramNameIndexed(program_, name, sizeof name);
  return name;
}

void ClapWorkload::renderBlock() {
  events_.clear();
  clap_event_note& note = notes_[0];
  note = {};
  note.header = {sizeof note, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_ON, 0};
  note.note_id = phrasePlace();
  note.port_index = 0;
  note.channel = 0;
  note.key = nextKey();
  note.velocity = kVelocity / 127.0;
  events_.push_back(&note.header);
  for (size_t i = 0; i < values_.size(); ++i) {
    clap_event_param_value& value = values_[i];
    value = {};
    value.header = {sizeof value, static_cast<uint32_t>((i + 1) * static_cast<size_t>(eventSpacing_)),
                    CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    value.param_id = 8;
    value.note_id = -1;
    value.port_index = value.channel = value.key = -1;
    value.value = cutoff_;
    events_.push_back(&value.header);
  }
  clap_input_events in{this, [](const clap_input_events* l) {
                          return static_cast<uint32_t>(static_cast<ClapWorkload*>(l->ctx)->events_.size());
                        },
                       [](const clap_input_events* l, uint32_t i) {
                         return static_cast<ClapWorkload*>(l->ctx)->events_[i];
                       }};
  clap_output_events out{nullptr, [](const clap_output_events*, const clap_event_header*) { return true; }};
  float* channels[2] = {left_.data(), right_.data()};
  clap_audio_buffer output{channels, nullptr, 2, 0, 0};
  clap_process process{-1, kBlockSize, nullptr, nullptr, &output, 0, 1, &in, &out};
  plugin_->process(plugin_, &process);
}
