// Lock rules that the compiler checks: clang's thread-safety analysis (-Wthread-safety) reads
// these attributes; other compilers see nothing. std::mutex carries no attributes in libstdc++,
// so the code that states rules locks a Mutex through a MutexLock, and waits on it with
// std::condition_variable_any (a wait gives the mutex back before it returns, so the analysis
// may take it as held throughout).
#pragma once

#include <mutex>

#if defined(__clang__)
#define VELMORA_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define VELMORA_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) VELMORA_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY VELMORA_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) VELMORA_THREAD_ATTRIBUTE(guarded_by(x))
#define PT_GUARDED_BY(x) VELMORA_THREAD_ATTRIBUTE(pt_guarded_by(x))
#define REQUIRES(...) VELMORA_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) VELMORA_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) VELMORA_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) VELMORA_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS VELMORA_THREAD_ATTRIBUTE(no_thread_safety_analysis)

namespace velmora {

// A std::mutex that the analysis knows as a capability. lock and unlock make it a BasicLockable,
// so that std::condition_variable_any waits on it directly.
class CAPABILITY("mutex") Mutex {
 public:
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for its scope; Unlock and Lock let go of it and take it again inside the scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() RELEASE() {
    if (held_) mutex_.unlock();
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void Unlock() RELEASE() {
    held_ = false;
    mutex_.unlock();
  }
  void Lock() ACQUIRE() {
    mutex_.lock();
    held_ = true;
  }

 private:
  Mutex& mutex_;
  bool held_ = true;
};

}  // namespace velmora
