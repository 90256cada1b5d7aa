// The audio path allocates nothing, takes no lock and makes no system call: this program
// replaces the allocator and pthread_mutex_lock and counts the calls the rendering thread makes
// while other threads edit, and renders on a thread that the kernel kills at its first system
// call.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <linux/seccomp.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "DAEffectX.h"
#include "MidiList.h"
#include "PluginLoader.h"

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

TEST(Realtime, RenderingAllocatesNothingAndTakesNoLock) {
  ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
  AEffect* effect = builtPlugin().entry("main")(&quietHost);
  ASSERT_NE(effect, nullptr);
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

  dispatch(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
  dispatch(effect, effSetBlockSize, 0, 512);
  dispatch(effect, effMainsChanged, 0, 1);
  // Events and buffers are prepared before counting starts, as a host's are.
  constexpr int kBlocks = 5000;
  std::vector<MidiList> lists(64);
  for (size_t i = 0; i < lists.size(); ++i) {
    lists[i].noteOn(static_cast<int32_t>(i * 7 % 300), 40 + static_cast<int>(i % 40), 100);
    lists[i].add(static_cast<int32_t>(i * 3 % 300), 0xE0, 0, static_cast<int>(i * 5 % 128));
    if (i % 3 == 0) lists[i].noteOff(static_cast<int32_t>(i % 200), 40 + static_cast<int>(i % 40));
    if (i % 16 == 5) lists[i].add(0, 0xB0, 123, 0);
  }
  std::vector<VstEvents*> prepared;
  for (MidiList& list : lists) prepared.push_back(list.list());
  std::vector<float> left(512), right(512);
  float* outputs[2] = {left.data(), right.data()};
  dispatch(effect, effProcessEvents, 0, 0, prepared[0]);
  effect->processReplacing(effect, nullptr, outputs, 512);  // the first block is not counted

  std::atomic<bool> stop{false};
  std::thread editor([&] {
    for (int n = 0; !stop.load(); ++n) {
      effect->setParameter(effect, n % 14, static_cast<float>(n % 101) / 100.0f);
      if (n % 50 == 0) dispatch(effect, effSetProgram, 0, n / 50 % 3);
    }
  });
  tCounting = true;
  for (int block = 0; block < kBlocks; ++block) {
    dispatch(effect, effProcessEvents, 0, 0, prepared[static_cast<size_t>(block) % prepared.size()]);
    if (block % 2 == 0)
      effect->processReplacing(effect, nullptr, outputs, 64 + block % 449);
    else
      effect->process(effect, nullptr, outputs, 64 + block % 449);
  }
  tCounting = false;
  stop.store(true);
  editor.join();
  EXPECT_EQ(gAllocations.load(), 0);
  EXPECT_EQ(gFrees.load(), 0);
  EXPECT_EQ(gLocks.load(), 0);
  dispatch(effect, effClose);
}

// In strict seccomp mode only read, write and exit are allowed: any other system call (a lock
// that waits, an allocation that maps memory, a clock read through the kernel) ends the process.
TEST(Realtime, RenderingMakesNoSystemCall) {
  ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
  AEffect* effect = builtPlugin().entry("main")(&quietHost);
  ASSERT_NE(effect, nullptr);
  std::vector<MidiList> lists(16);
  for (size_t i = 0; i < lists.size(); ++i) {
    lists[i].noteOn(static_cast<int32_t>(i * 13 % 200), 50 + static_cast<int>(i), 90);
    lists[i].add(0, 0xE0, 0, static_cast<int>(i * 9 % 128));
    if (i % 4 == 3) lists[i].add(5, 0xB0, static_cast<int>(120 + i % 4), 0);
  }
  std::vector<VstEvents*> prepared;
  for (MidiList& list : lists) prepared.push_back(list.list());
  std::vector<float> left(512), right(512);
  float* outputs[2] = {left.data(), right.data()};
  dispatch(effect, effProcessEvents, 0, 0, prepared[0]);
  effect->processReplacing(effect, nullptr, outputs, 512);

  std::atomic<bool> stop{false};
  std::atomic<int> rendered{0};
  std::thread editor([&] {
    for (int n = 0; !stop.load(); ++n) {
      effect->setParameter(effect, n % 14, static_cast<float>(n % 97) / 96.0f);
      if (n % 40 == 0) dispatch(effect, effSetProgram, 0, n / 40 % 4);
    }
  });
  std::thread audio([&] {
    if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_STRICT) != 0) syscall(SYS_exit, 0);
    for (int block = 0; block < 3000; ++block) {
      dispatch(effect, effProcessEvents, 0, 0, prepared[static_cast<size_t>(block) % prepared.size()]);
      effect->processReplacing(effect, nullptr, outputs, 32 + block % 480);
      rendered.store(block + 1, std::memory_order_relaxed);
    }
    syscall(SYS_exit, 0);  // the thread ends without the library's exit path (it makes calls)
  });
  audio.join();
  stop.store(true);
  editor.join();
  EXPECT_EQ(rendered.load(), 3000);
  dispatch(effect, effClose);
}

}  // namespace
