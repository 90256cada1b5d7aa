// Reference counting and interface lookup shared by the plug-in's objects (and the test host's).
#pragma once

#include <atomic>
#include <cstdint>

#include "Vst3Interfaces.h"

namespace vst3 {

// Hosts add and drop references from several threads.
class RefCount {
 public:
  uint32_t add() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // The count left; the caller deletes its object at 0.
  uint32_t drop() { return refs_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

 private:
  std::atomic<uint32_t> refs_{1};
};

// queryInterface's step for one interface: when `interfaceId` names I, hands out `face` (the object's
// sub-object for I) with a reference added.
template <class I, class Face>
bool offer(TUIDPtr interfaceId, void** obj, Face* face) {
  if (!sameUid(interfaceId, I::iid)) return false;
  *obj = static_cast<I*>(face);
  face->addRef();
  return true;
}

inline tresult noInterface(void** obj) {
  if (obj != nullptr) *obj = nullptr;
  return kNoInterface;
}

// Keeps one reference to a host object and drops it on reset or destruction.
template <class I>
class HostRef {
 public:
  HostRef() = default;
  ~HostRef() { reset(); }
  HostRef(const HostRef&) = delete;
  HostRef& operator=(const HostRef&) = delete;
  void reset(I* object = nullptr) {
    if (object != nullptr) object->addRef();
    I* old = object_;
    object_ = object;
    if (old != nullptr) old->release();
  }
  // Takes a reference already counted for us (a queryInterface result).
  void adopt(I* object) {
    reset();
    object_ = object;
  }
  I* get() const { return object_; }
  I* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  I* object_ = nullptr;
};

// The interface I of `object`, with a reference, or null.
template <class I>
I* queryAs(FUnknown* object) {
  void* found = nullptr;
  if (object == nullptr || object->queryInterface(I::iid.bytes, &found) != kResultOk) return nullptr;
  return static_cast<I*>(found);
}

}  // namespace vst3
