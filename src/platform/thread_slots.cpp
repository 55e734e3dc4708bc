#include "platform/thread_slots.h"

#include <pthread.h>

#include <atomic>

#include "platform/last_error.h"

namespace tw::platform {
namespace {

std::atomic<ThreadDetachHandler> g_detachHandler{nullptr};

// Set while the detach handler runs, so that state the handler touches does
// not announce the thread a second time.
thread_local bool t_detaching = false;

void OnAnnouncedThreadExit(void*) {
  t_detaching = true;
  if (ThreadDetachHandler handler = g_detachHandler.load()) handler();
}

// The key whose destructor stands in for the loader's thread-detach
// notification. The slots handed out by TlsAlloc have no destructor, so
// their values are still there when the handler runs.
struct DetachKey {
  pthread_key_t key{};
  bool valid = false;
  DetachKey() { valid = pthread_key_create(&key, &OnAnnouncedThreadExit) == 0; }
};

DetachKey& TheDetachKey() {
  static DetachKey detachKey;
  return detachKey;
}

}  // namespace

uint32_t TlsAlloc() {
  pthread_key_t key;
  const int rc = pthread_key_create(&key, nullptr);
  if (rc != 0) {
    SetLastError(ErrorFromErrno(rc));
    return kInvalidSlot;
  }
  if (static_cast<uint32_t>(key) == kInvalidSlot) {
    // Never hand out the value that means "no slot".
    pthread_key_delete(key);
    SetLastError(kErrorNotEnoughMemory);
    return kInvalidSlot;
  }
  return static_cast<uint32_t>(key);
}

bool TlsFree(uint32_t slot) {
  if (slot == kInvalidSlot || pthread_key_delete(static_cast<pthread_key_t>(slot)) != 0) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  return true;
}

void* TlsGetValue(uint32_t slot) {
  if (slot == kInvalidSlot) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  void* value = pthread_getspecific(static_cast<pthread_key_t>(slot));
  SetLastError(kErrorSuccess);  // lets a caller tell a stored null from a failure
  return value;
}

bool TlsSetValue(uint32_t slot, void* value) {
  if (slot == kInvalidSlot || pthread_setspecific(static_cast<pthread_key_t>(slot), value) != 0) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  return true;
}

void SetThreadDetachHandler(ThreadDetachHandler handler) {
  TheDetachKey();
  g_detachHandler.store(handler);
}

void AnnounceThread() {
  if (t_detaching) return;
  DetachKey& detachKey = TheDetachKey();
  if (!detachKey.valid) return;
  if (pthread_getspecific(detachKey.key) != nullptr) return;
  // Any non-null value arms the destructor; it carries no data.
  static char marker;
  pthread_setspecific(detachKey.key, &marker);
}

}  // namespace tw::platform
