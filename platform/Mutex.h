// A mutex the thread-safety analysis can follow (platform/ThreadAnnotations.h), the scoped lock
// that holds it, and the scoped unlock that lets go of it for a while:
//
//   void Pool::Take() EXCLUDES(mutex_) {
//     MutexLock lock(mutex_);
//     while (queue_.empty()) mutex_.Wait(wake_);  // the condition is read with the lock held
//     ...
//   }
//   void Pool::Report() REQUIRES(mutex_) {
//     {
//       MutexUnlock unlocked(mutex_);  // the others may go on meanwhile
//       host_.KeepResponsive();
//     }
//     ...
//   }
//
// Write a wait's condition as a loop around Wait, as above: a predicate lambda runs with the lock
// held, but the analysis cannot see that and takes it for an unguarded read (unless it starts
// with mutex_.AssertHeld()). Waiting and unlocking belong to the mutex, not to a lock object, so
// that a function called with the mutex held (REQUIRES) may do both.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/ThreadAnnotations.h"

namespace velmora {

class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }
  // Tells the analysis that the calling thread holds the mutex, where it cannot see that itself;
  // checks nothing at run time.
  void AssertHeld() const ASSERT_CAPABILITY(this) {}

  // Lets go of the mutex, which the calling thread holds, until wake is notified (or wakes
  // spuriously), and returns holding it again.
  void Wait(std::condition_variable& wake) REQUIRES(this) {
    Adopted held(mutex_);
    wake.wait(held.lock);
  }
  // The same, returning at the latest after timeout: std::cv_status::timeout then.
  template <class Rep, class Period>
  std::cv_status WaitFor(std::condition_variable& wake,
                         const std::chrono::duration<Rep, Period>& timeout) REQUIRES(this) {
    Adopted held(mutex_);
    return wake.wait_for(held.lock, timeout);
  }

 private:
  // The held mutex as the std::unique_lock a condition variable waits with, still held when it
  // goes (even by an exception).
  struct Adopted {
    explicit Adopted(std::mutex& mutex) : lock(mutex, std::adopt_lock) {}
    ~Adopted() { lock.release(); }
    std::unique_lock<std::mutex> lock;
  };

  std::mutex mutex_;
};

// Holds a Mutex from construction to destruction, or to Unlock; Lock takes it again.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() RELEASE() {
    if (locked_) mutex_.Unlock();
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void Unlock() RELEASE() {
    mutex_.Unlock();
    locked_ = false;
  }
  void Lock() ACQUIRE() {
    mutex_.Lock();
    locked_ = true;
  }

 private:
  Mutex& mutex_;
  bool locked_ = true;
};

// Lets go of a Mutex that the calling thread holds from construction to destruction, which takes
// it again: a slow call that must not keep the other threads waiting.
class SCOPED_CAPABILITY MutexUnlock {
 public:
  explicit MutexUnlock(Mutex& mutex) RELEASE(mutex) : mutex_(mutex) { mutex_.Unlock(); }
  ~MutexUnlock() RELEASE() { mutex_.Lock(); }
  MutexUnlock(const MutexUnlock&) = delete;
  MutexUnlock& operator=(const MutexUnlock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace velmora
