// The audio path allocates nothing, takes no lock and makes no system call: this program
// replaces the allocator and pthread_mutex_lock and counts the calls the rendering thread makes
// while other threads edit, and renders on a thread that the kernel kills at its first system
// call. The plug-ins: VelaOrin.so through its VST 2 entry point, VelaOrin.lv2 through lilv,
// VelaOrin.clap through our CLAP host, VelaOrin.vst3 through our VST 3 host.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <linux/seccomp.h>
#include <lv2/atom/atom.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "ClapTestHost.h"
#include "DAEffectX.h"
#include "Lv2TestHost.h"
#include "MidiList.h"
#include "PluginLoader.h"
#include "VelaVst3.h"
#include "Vst3TestHost.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* ptr, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* ptr);
}

namespace {

thread_local bool tCounting = false;  // set by the rendering thread around its calls
std::atomic<int> gAllocations{0};
std::atomic<int> gFrees{0};
std::atomic<int> gLocks{0};

inline void countAllocation() {
  if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
}

using MutexLockFn = int (*)(pthread_mutex_t*);
MutexLockFn realMutexLock = nullptr;

}  // namespace

extern "C" {
void* malloc(size_t size) {
  countAllocation();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  countAllocation();
  return __libc_calloc(count, size);
}
void* realloc(void* ptr, size_t size) {
  countAllocation();
  return __libc_realloc(ptr, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  countAllocation();
  return __libc_memalign(alignment, size);
}
void* memalign(size_t alignment, size_t size) {
  countAllocation();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  countAllocation();
  *out = __libc_memalign(alignment, size);
  return *out != nullptr ? 0 : ENOMEM;
}
void free(void* ptr) {
  if (tCounting && ptr != nullptr) gFrees.fetch_add(1, std::memory_order_relaxed);
  __libc_free(ptr);
}
int pthread_mutex_lock(pthread_mutex_t* mutex) {
  if (tCounting) gLocks.fetch_add(1, std::memory_order_relaxed);
  if (realMutexLock == nullptr)
    realMutexLock = reinterpret_cast<MutexLockFn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  return realMutexLock(mutex);
}
}

// operator new and delete go through malloc and free above, whichever library calls them.
void* operator new(size_t size) {
  void* p = malloc(size != 0 ? size : 1);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return malloc(size != 0 ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return malloc(size != 0 ? size : 1); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }

namespace {

intptr_t VELA_CDECL quietHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// An instance past its first block, with event lists prepared as a host prepares them (notes,
// bends, the panic controllers, lists beyond the plug-in's capacity) and another thread changing parameters and programs throughout.
class VstSession {
 public:
  VstSession() : effect_(builtPlugin().loaded() ? builtPlugin().entry("main")(&quietHost) : nullptr) {
    if (effect_ == nullptr) return;
    dispatch(effect_, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    dispatch(effect_, effMainsChanged, 0, 1);
    for (size_t i = 0; i < lists_.size(); ++i) {
      const int note = 40 + static_cast<int>(i % 40);
      lists_[i].noteOn(static_cast<int32_t>(i * 7 % 300), note, 100);
      lists_[i].add(static_cast<int32_t>(i * 3 % 300), 0xE0, 0, static_cast<int>(i * 5 % 128));
      if (i % 3 == 0) lists_[i].noteOff(static_cast<int32_t>(i % 200), note);
      if (i % 8 == 5) lists_[i].add(9, 0xB0, static_cast<int>(120 + i / 8 % 4), 0);
      // Now and then more events than the plug-in keeps, last frame first, so they need
      // putting in order.
      if (i % 16 == 7)
        for (int k = 0; k < 1100; ++k)
          lists_[i].add((1100 - k) % 400, k % 2 == 0 ? 0x90 : 0x80, 40 + k % 30, 90);
    }
    for (MidiList& list : lists_) prepared_.push_back(list.list());
    renderBlocks(1);
    editor_ = std::thread([this] {
      for (int n = 0; !stop_.load(); ++n) {
        effect_->setParameter(effect_, n % 14, static_cast<float>(n % 101) / 100.0f);
        if (n % 50 == 0) dispatch(effect_, effSetProgram, 0, n / 50 % 3);
      }
    });
  }
  ~VstSession() {
    stop_.store(true);
    if (editor_.joinable()) editor_.join();
    if (effect_ != nullptr) dispatch(effect_, effClose);
  }
  bool open() const { return effect_ != nullptr; }
  // Returns the number of blocks rendered.
  int renderBlocks(int count) {
    float* outputs[2] = {left_.data(), right_.data()};
    for (int block = 0; block < count; ++block) {
      dispatch(effect_, effProcessEvents, 0, 0, prepared_[static_cast<size_t>(block) % prepared_.size()]);
      if (block % 2 == 0)
        effect_->processReplacing(effect_, nullptr, outputs, 64 + block % 449);
      else
        effect_->process(effect_, nullptr, outputs, 64 + block % 449);
      rendered_.store(block + 1, std::memory_order_relaxed);
    }
    return count;
  }
  int rendered() const { return rendered_.load(); }

 private:
  AEffect* effect_;
  std::vector<MidiList> lists_ = std::vector<MidiList>(64);
  std::vector<VstEvents*> prepared_;
  std::vector<float> left_ = std::vector<float>(512), right_ = std::vector<float>(512);
  std::atomic<bool> stop_{false};
  std::atomic<int> rendered_{0};
  std::thread editor_;
};

// The same kind of blocks through the LV2 plug-in: its run() reads the control ports (one moves
// every block) and a sequence of notes, bends, panic controllers, atoms that are not MIDI, now
// and then more events than the engine keeps, and a tuning file set (a job for the worker).
class Lv2Session {
 public:
  Lv2Session() : synth_(48000.0) {
    if (!synth_.open()) return;
    synth_.patchSet(0, velalv2::kScaleUri, "a.scl");  // its URIs mapped before counting
    renderBlocks(1);
  }
  bool open() const { return synth_.open(); }
  int renderBlocks(int count) {
    for (int block = 0; block < count; ++block) {
      const auto byte = [](int value) { return static_cast<uint8_t>(value); };
      synth_.control(block % 14) = static_cast<float>(block % 101) / 100.0f;
      synth_.midi(0, 0xE0, 0, byte(block * 5 % 128));
      synth_.atom(0, Lv2World::get().map(LV2_ATOM__Int), &block, sizeof block);
      synth_.midi(1 + block * 7 % 59, 0x90, byte(40 + block % 40), 100);
      if (block % 3 == 0) synth_.midi(60, 0x80, byte(40 + block % 40), 0);
      if (block % 8 == 5) synth_.midi(61, 0xB0, byte(120 + block / 8 % 4), 0);
      for (int k = 0; block % 16 == 7 && k < 1100; ++k)
        synth_.midi(62 + k % 2, k % 2 == 0 ? 0x90 : 0x80, byte(40 + k % 30), 90);
      if (block % 500 == 3) synth_.patchSet(5, velalv2::kScaleUri, "a.scl");
      synth_.run(left_.data(), right_.data(), static_cast<uint32_t>(64 + block % 449));
      rendered_.store(block + 1, std::memory_order_relaxed);
    }
    return count;
  }
  int rendered() const { return rendered_.load(); }

 private:
  Lv2Synth synth_;
  std::vector<float> left_ = std::vector<float>(512), right_ = std::vector<float>(512);
  std::atomic<int> rendered_{0};
};

// The same through VelaOrin.clap: full lists of CLAP notes with ids (their ends going out),
// chokes, MIDI bends and controllers, parameter values and modulation at frames, more events
// than the core's queues hold (the block is then rendered in pieces).
class ClapSession {
 public:
  ClapSession() : instance_(builtClap(), host_) {
    if (instance_.plugin() == nullptr || !instance_.start(48000.0, 512)) return;
    open_ = true;
    out_.events.reserve(8192);
    for (size_t i = 0; i < lists_.size(); ++i) {
      EventList& list = lists_[i];
      const auto key = static_cast<int16_t>(40 + i % 40);
      list.noteOn(static_cast<uint32_t>(i * 7 % 300), key, 0.8, static_cast<int32_t>(i));
      list.midi(static_cast<uint32_t>(i * 3 % 300), 0xE0, 0, static_cast<uint8_t>(i * 5 % 128));
      list.value(static_cast<uint32_t>(i * 11 % 400), static_cast<clap_id>(i % 14),
                 static_cast<double>(i % 101) / 100.0);
      list.modulation(static_cast<uint32_t>(i * 13 % 400), static_cast<clap_id>(i % 14), 0.1);
      if (i % 3 == 0) list.noteOff(static_cast<uint32_t>(i % 200), key);
      if (i % 4 == 1) list.choke(static_cast<uint32_t>(i % 250), -1, static_cast<int32_t>(i));
      if (i % 8 == 5) list.midi(9, 0xB0, static_cast<uint8_t>(120 + i / 8 % 4), 0);
      for (int k = 0; i % 16 == 7 && k < 1100; ++k) {
        list.noteOn(static_cast<uint32_t>((1100 - k) % 400), static_cast<int16_t>(40 + k % 30), 0.7, k);
        list.value(static_cast<uint32_t>(k % 400), static_cast<clap_id>(k % 14), 0.5);
      }
      list.sort();
    }
    renderBlocks(1);
  }
  bool open() const { return open_; }
  int renderBlocks(int count) {
    for (int block = 0; block < count; ++block) {
      out_.events.clear();  // reserved below: the host's own list never allocates
      instance_.process(lists_[static_cast<size_t>(block) % lists_.size()],
                        static_cast<uint32_t>(64 + block % 449), left_.data(), right_.data(), &out_);
      rendered_.store(block + 1, std::memory_order_relaxed);
    }
    return count;
  }
  int rendered() const { return rendered_.load(); }

 private:
  TestHost host_;
  ClapInstance instance_;
  bool open_ = false;
  std::vector<EventList> lists_ = std::vector<EventList>(64);
  OutputList out_;
  std::vector<float> left_ = std::vector<float>(512), right_ = std::vector<float>(512);
  std::atomic<int> rendered_{0};
};

// The same kind of blocks through the VST 3 component: notes and releases as events, bends and
// panic controllers as points of the mapped parameters, parameter points, now and then more
// events than the engine keeps, a program change every few blocks (its values reported as output
// changes), while another thread restores and saves the component's state.
class Vst3Session {
 public:
  Vst3Session() : synth_(48000.0, 512) {
    if (!synth_.ok()) return;
    renderBlocks(1);
    editor_ = std::thread([this] {
      std::vector<uint8_t> state = synth_.componentState();
      for (int n = 0; !stop_.load(); ++n) {
        if (n % 2 == 0) state = synth_.componentState();
        else synth_.setComponentState(state);
      }
    });
  }
  ~Vst3Session() {
    stop_.store(true);
    if (editor_.joinable()) editor_.join();
  }
  bool open() const { return synth_.ok(); }
  int renderBlocks(int count) {
    for (int block = 0; block < count; ++block) {
      const auto frames = static_cast<int32_t>(64 + block % 449);
      vst3host::EventList& events = synth_.events();
      vst3host::ParameterChanges& parameters = synth_.parameters();
      const auto pitch = static_cast<int16_t>(40 + block % 40);
      parameters.add(velavst3::kPitchBendId, 0, (block * 5 % 128) / 127.0);
      parameters.add(static_cast<vst3::ParamID>(block % 14), block % frames, (block % 101) / 100.0);
      parameters.add(static_cast<vst3::ParamID>(block % 14), frames - 1, (block % 37) / 36.0);
      events.noteOn(1 + block * 7 % 59, pitch, 0.8f);
      if (block % 3 == 0) events.noteOff(60, pitch);
      if (block % 5 == 0) events.noteOn(61, pitch, 0.0f);
      if (block % 8 == 5) parameters.add(velavst3::kMidiParameters[1 + block / 8 % 4].id, 61, 0.0);
      if (block % 10 == 9) parameters.add(velavst3::kProgramId, 0, (block / 10 % 32) / 31.0);
      for (int k = 0; block % 16 == 7 && k < 1100; ++k)
        k % 2 == 0 ? events.noteOn(62, static_cast<int16_t>(40 + k % 30), 0.7f)
                   : events.noteOff(63, static_cast<int16_t>(40 + k % 30));
      synth_.render(left_.data(), right_.data(), frames);
      rendered_.store(block + 1, std::memory_order_relaxed);
    }
    return count;
  }
  int rendered() const { return rendered_.load(); }

 private:
  vst3host::Synth synth_;
  std::vector<float> left_ = std::vector<float>(512), right_ = std::vector<float>(512);
  std::atomic<bool> stop_{false};
  std::atomic<int> rendered_{0};
  std::thread editor_;
};

template <class Session>
class Realtime : public ::testing::Test {};
struct FormatName {
  template <class Session>
  static std::string GetName(int) {
    if (std::is_same_v<Session, ClapSession>) return "Clap";
    if (std::is_same_v<Session, Vst3Session>) return "Vst3";
    return std::is_same_v<Session, VstSession> ? "Vst" : "Lv2";
  }
};
using Formats = ::testing::Types<VstSession, Lv2Session, ClapSession, Vst3Session>;
TYPED_TEST_SUITE(Realtime, Formats, FormatName);

TYPED_TEST(Realtime, RenderingAllocatesNothingAndTakesNoLock) {
  // The counters work: an allocation and a lock on the counting thread are seen.
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  tCounting = true;
  void* volatile probe = std::malloc(16);
  pthread_mutex_lock(&mutex);
  tCounting = false;
  pthread_mutex_unlock(&mutex);
  std::free(probe);
  ASSERT_EQ(gAllocations.exchange(0), 1);
  ASSERT_EQ(gLocks.exchange(0), 1);

  TypeParam session;
  ASSERT_TRUE(session.open()) << builtPlugin().error() << Lv2World::get().error()
                              << builtClap().error() << vst3host::module().error();
  tCounting = true;
  session.renderBlocks(5000);
  tCounting = false;
  EXPECT_EQ(gAllocations.exchange(0), 0);
  EXPECT_EQ(gFrees.exchange(0), 0);
  EXPECT_EQ(gLocks.exchange(0), 0);
}

// In strict seccomp mode only read, write and exit are allowed: any other system call (a lock
// that waits, an allocation that maps memory, a clock read through the kernel) ends the thread.
TYPED_TEST(Realtime, RenderingMakesNoSystemCall) {
  TypeParam session;
  ASSERT_TRUE(session.open()) << builtPlugin().error() << Lv2World::get().error()
                              << builtClap().error() << vst3host::module().error();
  std::thread audio([&] {
    if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_STRICT) == 0) session.renderBlocks(3000);
    syscall(SYS_exit, 0);  // the thread ends without the library's exit path (it makes calls)
  });
  audio.join();
  EXPECT_EQ(session.rendered(), 3000);
}

}  // namespace
