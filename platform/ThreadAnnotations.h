// Lock rules that the compiler checks: clang's thread-safety analysis (-Wthread-safety) reads
// these attributes; other compilers see nothing. std::mutex carries no attributes in libstdc++,
// so the code that states rules locks a Mutex through a MutexLock.
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

// A std::mutex that the analysis knows as a capability.
class CAPABILITY("mutex") Mutex {
 public:
  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }
  // For std::condition_variable, through MutexLock::Native.
  std::mutex& Native() { return mutex_; }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for its scope; Unlock and Lock let go of it and take it again inside the scope,
// and Native gives the std::unique_lock that std::condition_variable waits with (the wait gives
// the mutex back before it returns, so the analysis may take it as held throughout).
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : lock_(mutex.Native()) {}
  ~MutexLock() RELEASE() = default;
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void Unlock() RELEASE() { lock_.unlock(); }
  void Lock() ACQUIRE() { lock_.lock(); }
  std::unique_lock<std::mutex>& Native() { return lock_; }

 private:
  std::unique_lock<std::mutex> lock_;
};

}  // namespace velmora
