// Lock rules the compiler checks: clang's thread-safety analysis (-Wthread-safety, the
// thread-safety build of scripts/build.sh) reads these attributes; other compilers (GCC, MinGW)
// see nothing. Annotate the data a mutex protects and the functions that need it held:
//
//   Mutex mutex_;
//   std::size_t queued_ GUARDED_BY(mutex_) = 0;
//   void TakeBatch() REQUIRES(mutex_);   // called with mutex_ held
//   void Submit() EXCLUDES(mutex_);      // takes mutex_ itself
//
// std::mutex of libstdc++ carries no attributes, so the analysis cannot see it taken: lock a
// velmora::Mutex (platform/Mutex.h) instead.
#pragma once

#if defined(__clang__)
#define VELMORA_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VELMORA_THREAD_ANNOTATION(x)
#endif

// A class whose objects are locks ("mutex" in the analysis' messages).
#define CAPABILITY(x) VELMORA_THREAD_ANNOTATION(capability(x))
// A class whose objects hold a lock from construction to destruction (MutexLock).
#define SCOPED_CAPABILITY VELMORA_THREAD_ANNOTATION(scoped_lockable)
// A member read or written only with the lock held.
#define GUARDED_BY(x) VELMORA_THREAD_ANNOTATION(guarded_by(x))
// A pointer whose target is read or written only with the lock held (the pointer itself is not).
#define PT_GUARDED_BY(x) VELMORA_THREAD_ANNOTATION(pt_guarded_by(x))
// A function called with the locks held, which it leaves held.
#define REQUIRES(...) VELMORA_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// A function called without the locks, because it takes them itself.
#define EXCLUDES(...) VELMORA_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// A function that takes the locks (none named: the object it is called on) and returns holding
// them.
#define ACQUIRE(...) VELMORA_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// A function that lets go of the locks (none named: the object it is called on).
#define RELEASE(...) VELMORA_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// A function that returns only when the calling thread holds the lock; the analysis then takes it
// as held (a lambda run with the lock held, which the analysis cannot follow).
#define ASSERT_CAPABILITY(x) VELMORA_THREAD_ANNOTATION(assert_capability(x))
// A function the analysis leaves out; say beside it why its locking is right.
#define NO_THREAD_SAFETY_ANALYSIS VELMORA_THREAD_ANNOTATION(no_thread_safety_analysis)
