#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "tools/plughost/validate/realtime_probe.h"

namespace plughost::validate::probe {
namespace {

enum Function {
  fMalloc,
  fCalloc,
  fRealloc,
  fFree,
  fMemalign,
  fPosixMemalign,
  fAlignedAlloc,
  fMutexLock,
  fRwlockRead,
  fRwlockWrite,
  fSemWait,
  fCondWait,
  fCondTimedWait,
  fSpinLock,
  kFunctionCount,
};

constexpr const char* kFunctionNames[kFunctionCount] = {
    "malloc",
    "calloc",
    "realloc",
    "free",
    "memalign",
    "posix_memalign",
    "aligned_alloc",
    "pthread_mutex_lock",
    "pthread_rwlock_rdlock",
    "pthread_rwlock_wrlock",
    "sem_wait",
    "pthread_cond_wait",
    "pthread_cond_timedwait",
    "pthread_spin_lock",
};

constexpr int kFirstLock = fMutexLock;

std::atomic<bool> counting{false};
std::atomic<long> calls[kFunctionCount];
// Static TLS of the executable: reading it allocates nothing, even inside malloc.
__attribute__((tls_model("initial-exec"))) thread_local bool onCountedThread = false;
__attribute__((tls_model("initial-exec"))) thread_local int pauseDepth = 0;

}  // namespace

#if PLUGHOST_COUNT_CALLS

namespace {

inline void count(Function function) {
  if (onCountedThread && pauseDepth == 0 && counting.load(std::memory_order_relaxed)) {
    calls[function].fetch_add(1, std::memory_order_relaxed);
  }
}

// The C library's own functions behind the lock wrappers, found on first use. dlsym allocates
// through the wrappers below, which forward to the C library without needing dlsym.
template <typename Signature>
Signature next(const char* name, std::atomic<void*>& cache) {
  void* target = cache.load(std::memory_order_acquire);
  if (target == nullptr) {
    target = dlsym(RTLD_NEXT, name);
    cache.store(target, std::memory_order_release);
  }
  return reinterpret_cast<Signature>(target);
}

std::atomic<void*> realMutexLock{nullptr};
std::atomic<void*> realRwlockRead{nullptr};
std::atomic<void*> realRwlockWrite{nullptr};
std::atomic<void*> realSemWait{nullptr};
std::atomic<void*> realCondWait{nullptr};
std::atomic<void*> realCondTimedWait{nullptr};
std::atomic<void*> realSpinLock{nullptr};

}  // namespace

bool available(std::string& /*whyNot*/) {
  return true;
}

}  // namespace plughost::validate::probe

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace probe = plughost::validate::probe;

// Plug-ins loaded later bind to these only if the executable exports them, whatever the
// build's default visibility.
#define PROBE_EXPORT __attribute__((visibility("default")))

extern "C" {

PROBE_EXPORT void* malloc(std::size_t size) noexcept {
  probe::count(probe::fMalloc);
  return __libc_malloc(size);
}

PROBE_EXPORT void* calloc(std::size_t count, std::size_t size) noexcept {
  probe::count(probe::fCalloc);
  return __libc_calloc(count, size);
}

PROBE_EXPORT void* realloc(void* pointer, std::size_t size) noexcept {
  probe::count(probe::fRealloc);
  return __libc_realloc(pointer, size);
}

PROBE_EXPORT void free(void* pointer) noexcept {
  if (pointer != nullptr) {
    probe::count(probe::fFree);
  }
  __libc_free(pointer);
}

PROBE_EXPORT void* memalign(std::size_t alignment, std::size_t size) noexcept {
  probe::count(probe::fMemalign);
  return __libc_memalign(alignment, size);
}

PROBE_EXPORT int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept {
  probe::count(probe::fPosixMemalign);
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) {
    return EINVAL;
  }
  void* pointer = __libc_memalign(alignment, size);
  if (pointer == nullptr) {
    return ENOMEM;
  }
  *result = pointer;
  return 0;
}

PROBE_EXPORT void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  probe::count(probe::fAlignedAlloc);
  return __libc_memalign(alignment, size);
}

PROBE_EXPORT int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept {
  probe::count(probe::fMutexLock);
  return probe::next<int (*)(pthread_mutex_t*)>("pthread_mutex_lock", probe::realMutexLock)(mutex);
}

PROBE_EXPORT int pthread_rwlock_rdlock(pthread_rwlock_t* lock) noexcept {
  probe::count(probe::fRwlockRead);
  return probe::next<int (*)(pthread_rwlock_t*)>("pthread_rwlock_rdlock",
                                                 probe::realRwlockRead)(lock);
}

PROBE_EXPORT int pthread_rwlock_wrlock(pthread_rwlock_t* lock) noexcept {
  probe::count(probe::fRwlockWrite);
  return probe::next<int (*)(pthread_rwlock_t*)>("pthread_rwlock_wrlock",
                                                 probe::realRwlockWrite)(lock);
}

PROBE_EXPORT int sem_wait(sem_t* semaphore) {
  probe::count(probe::fSemWait);
  return probe::next<int (*)(sem_t*)>("sem_wait", probe::realSemWait)(semaphore);
}

PROBE_EXPORT int pthread_cond_wait(pthread_cond_t* condition, pthread_mutex_t* mutex) {
  probe::count(probe::fCondWait);
  return probe::next<int (*)(pthread_cond_t*, pthread_mutex_t*)>(
      "pthread_cond_wait", probe::realCondWait)(condition, mutex);
}

PROBE_EXPORT int pthread_cond_timedwait(pthread_cond_t* condition, pthread_mutex_t* mutex,
                                        const struct timespec* deadline) {
  probe::count(probe::fCondTimedWait);
  return probe::next<int (*)(pthread_cond_t*, pthread_mutex_t*, const struct timespec*)>(
      "pthread_cond_timedwait", probe::realCondTimedWait)(condition, mutex, deadline);
}

PROBE_EXPORT int pthread_spin_lock(pthread_spinlock_t* lock) noexcept {
  probe::count(probe::fSpinLock);
  return probe::next<int (*)(pthread_spinlock_t*)>("pthread_spin_lock", probe::realSpinLock)(lock);
}

}  // extern "C"

namespace plughost::validate::probe {

#else  // sanitizer builds bring their own allocation functions

bool available(std::string& whyNot) {
  whyNot = "this build runs under a sanitizer, which replaces the allocation functions itself";
  return false;
}

#endif

std::string instrument(const std::filesystem::path& /*library*/) {
  // Interposition is process-wide: nothing to do per library.
  return {};
}

void begin() {
  for (auto& c : calls) {
    c.store(0, std::memory_order_relaxed);
  }
  onCountedThread = true;
  counting.store(true, std::memory_order_relaxed);
}

Counts end() {
  counting.store(false, std::memory_order_relaxed);
  onCountedThread = false;
  Counts counts;
  for (int f = 0; f < kFunctionCount; ++f) {
    const long n = calls[f].load(std::memory_order_relaxed);
    if (n == 0) {
      continue;
    }
    (f >= kFirstLock ? counts.lockCalls : counts.heapCalls) += n;
    if (!counts.detail.empty()) {
      counts.detail += ", ";
    }
    counts.detail += std::string(kFunctionNames[f]) + " x" + std::to_string(n);
  }
  return counts;
}

Pause::Pause() {
  ++pauseDepth;
}

Pause::~Pause() {
  --pauseDepth;
}

}  // namespace plughost::validate::probe
