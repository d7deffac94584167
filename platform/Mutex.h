// A mutex the thread-safety analysis can follow (platform/ThreadAnnotations.h), and the scoped
// lock that holds it:
//
//   MutexLock lock(mutex_);
//   while (!woken_) lock.Wait(wake_);   // the condition is read with the lock held, and checked
//
// Waiting on a condition variable goes through the lock, whose std::unique_lock the variable
// needs. Write the condition as a loop around Wait, as above: a predicate lambda runs with the
// lock held, but the analysis cannot see that and takes it for an unguarded read (unless it
// starts with mutex_.AssertHeld()).
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

 private:
  friend class MutexLock;
  std::mutex mutex_;
};

// Holds a Mutex from construction to destruction, or to Unlock: with the mutex let go for a while
// (a slow call that must not keep the other threads waiting), Lock takes it again.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : lock_(mutex.mutex_) {}
  ~MutexLock() RELEASE() {}
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void Unlock() RELEASE() { lock_.unlock(); }
  void Lock() ACQUIRE() { lock_.lock(); }

  // Lets go of the mutex until wake is notified (or wakes spuriously), and returns holding it.
  void Wait(std::condition_variable& wake) { wake.wait(lock_); }
  // The same, returning at the latest after timeout: std::cv_status::timeout then.
  template <class Rep, class Period>
  std::cv_status WaitFor(std::condition_variable& wake,
                         const std::chrono::duration<Rep, Period>& timeout) {
    return wake.wait_for(lock_, timeout);
  }

 private:
  std::unique_lock<std::mutex> lock_;
};

}  // namespace velmora
