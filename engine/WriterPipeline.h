// The one way a record is written: merged (or split and named), written and reported, in record
// order. With no writing threads each record is written inside Submit, on the calling thread;
// with writing threads the files are written on them while the calling thread reads the next
// records, and the files, the run log and the outcome are exactly those of the run on one thread,
// because outcomes are reported in record order on the calling thread and records that name one
// file are written one after the other.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <optional>
#include <exception>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "engine/RecordMerger.h"
#include "engine/RunEvents.h"
#include "engine/RunReporter.h"
#include "platform/Mutex.h"

namespace velmora {

// The most writing threads a run may have (velmora-batch --jobs).
inline constexpr unsigned kMaxWriterThreads = 64;

// Writing threads for this machine when nobody chose: four per processor, at least four and at
// most 32. The time they hide is a file's close (a virus scanner reads the new file before
// CloseHandle returns), which waits without using the processor, so one thread per processor
// would leave the processors idle; beyond a few dozen the scanner itself is the queue.
unsigned DefaultWriterThreads();

// How many writing threads may take records at once, judged every little while from the
// processors that the writers kept busy meanwhile (processorsUsed: their processor time over the
// wall time) on a machine of processors, with limit threads allowed until now, of writers.
// Writers that keep the processors busy (a file system in memory or a fast disk, where a file
// costs processor time and nothing else) gain nothing from more of them, only hand-overs, so
// there are then no more of them than processors. Writers that leave the processors idle (each
// waits for a slow close) while records wait for them get twice as many, up to writers.
unsigned WritersToKeepAwake(double processorsUsed, unsigned processors, unsigned limit,
                            unsigned writers, bool recordsWait);

// How a run's records are written.
struct WritingOptions {
  // Threads that write the files (at most kMaxWriterThreads); 0 writes each file inside Submit.
  unsigned writers = 0;
  // With writers: the writing threads fill the template of each record too, so that the calling
  // thread only reads, splits and names the records (the batch command, whose reading thread is
  // its bottleneck); else the calling thread merges each record whole (the window, whose thread
  // must come back to its messages between records anyway). Without writers each record is
  // filled as it is written, which is the same.
  bool fillOnWriters = false;
  // At most depth records (0: enough to keep every thread busy), and about maxQueuedBytes of them
  // (but always one), are merged and not yet reported.
  std::size_t depth = 0;
  std::size_t maxQueuedBytes = 8u << 20;
  // How often the writers' use of the processors sets how many may be awake (WritersToKeepAwake).
  std::chrono::milliseconds judgeEvery{50};
};

// Fewer writing threads started than a run asked for: how many started, of how many, and the
// system's reason for the first that did not.
struct ThreadsShort {
  unsigned started = 0;
  unsigned asked = 0;
  std::string reason;
};

class WriterPipeline {
 public:
  // Starts options.writers threads. reporter is used only on the calling thread, in Submit and
  // Finish. When the system starts fewer (a limit on processes), the run goes on with those that
  // started, or with none on the calling thread; ThreadsShort says so.
  WriterPipeline(const RunContext& context, RunReporter& reporter, const WritingOptions& options);
  // Lets the records being written finish, starts no other and joins the threads.
  ~WriterPipeline();
  WriterPipeline(const WriterPipeline&) = delete;
  WriterPipeline& operator=(const WriterPipeline&) = delete;

  // Merges one record (BuildMergedRecord, with after for the line; with fillOnWriters only
  // SplitAndNameRecord), drops it when it is skipped (RunContext::choices), writes it or queues
  // it for writing, and reports the records written since, in record order. Waits while the
  // queue is full, keeping the host responsive meanwhile. Raises the failure of the first record
  // whose file could not be written or closed (see Finish), so that no further record is read.
  void Submit(std::string& line, std::uint32_t recordNumber,
              LineAfterSplit after = LineAfterSplit::Keep);
  // Waits until every record is written and reported; returns the number of records whose file
  // could not be opened. When a record's file could not be written or closed (platform::FileError)
  // or memory ran out, no record is started after that; the records before it that were written
  // are reported, then it, then the files of later records that other threads had already
  // written ("path -> ok") or cut by a failure of their own, and its failure is raised.
  std::uint32_t Finish();
  // Starts no record from now on: the records being written are finished, and Finish reports
  // them; the others are dropped unreported, their files untouched.
  void Interrupt();

  // When fewer writing threads started than asked for (ThreadsShort); nothing when all did.
  const std::optional<ThreadsShort>& Short() const { return short_; }

 private:
  // Who may touch a slot: Free and Done slots belong to the calling thread, a Queued slot to
  // nobody, a Writing slot to the writer that took it. A slot changes hands only under mutex_,
  // which orders everything written to it before.
  enum class SlotState { Free, Queued, Writing, Done, NotStarted };
  static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);
  // Records a writer takes at once: one hand-over of the lock per file would make the threads
  // wait for each other rather than for the file system.
  static constexpr std::size_t kTakeBatch = 8;
  // What the pool knows of one record; made afresh for every record.
  struct Work {
    std::size_t bytes = 0;  // what the record counts against maxQueuedBytes
    bool keyed = false;     // other writers may meet its file: it is kept in busy_ by fileKey
    OutputOutcome outcome = OutputOutcome::Failed;
    platform::ErrorCode reason = 0;  // why the file could not be opened
    std::exception_ptr error;        // the write failure, or memory running out
    bool started = false;            // whether its writer began it
  };
  struct Slot {
    MergedRecord record;  // its buffers serve record after record
    FieldList fields;     // with fillOnWriters: the record's fields, until a writer fills it
    Work work;
    std::size_t keyHash = 0;  // of record.fileKey, made with it
    // Under mutex_ whoever holds the slot: the next record that waits for the file that this
    // slot's record writes or waits for (kNoSlot for none).
    std::size_t nextSameFile = kNoSlot;
  };
  // A file being written: the slot that writes it and the last of the slots that wait for it,
  // chained from the writing one through Slot::nextSameFile in record order.
  struct BusyFile {
    std::size_t writing = kNoSlot;  // kNoSlot: the entry is free
    std::size_t lastWaiting = kNoSlot;
  };
  struct SleepingWriter {
    std::condition_variable wake;
    bool woken = false;  // under mutex_
  };

  void Prepare(Slot& slot, std::string& line, std::uint32_t recordNumber, LineAfterSplit after);
  // Fills (with fillOnWriters) and writes the record's file, unless a record failed or the pool
  // was interrupted.
  // page holds the filled template while it is written: each thread keeps its own, so that the
  // page's bytes stay in that thread's processor cache from record to record.
  void WriteSlot(Slot& slot, FillScratch& fill, FilledPieces& page, const std::stop_token& stop);
  // Reports one written record; raises its failure when it has one.
  void Report(Slot& slot);
  // Keeps the slot's buffers for a later record while all slots keep at most maxQueuedBytes.
  void Retain(std::size_t index);

  void WriterMain(std::stop_token stop);
  bool MoreWritersNeeded() const REQUIRES(mutex_);
  std::size_t Awake() const REQUIRES(mutex_) { return started_ - sleeping_.size(); }
  // Counts a writer's processor time, and every judgeEvery_ sets awakeLimit_ by it.
  void JudgeWriters(std::chrono::nanoseconds processorTime) REQUIRES(mutex_);
  std::size_t ReadyCount() const REQUIRES(mutex_) {
    return static_cast<std::size_t>(readyEnd_ - readyFirst_);
  }
  // The entry of busy_ for the file of slot's record, or the free entry where it would go.
  std::size_t FindBusy(const Slot& slot) const REQUIRES(mutex_);
  // Frees the entry at, keeping every other entry where a search finds it.
  void EraseBusy(std::size_t at) REQUIRES(mutex_);
  void WakeWriter() REQUIRES(mutex_);
  // Takes up to a batch of ready records for one writer; a record whose file another writer has
  // open joins that file's queue instead.
  void TakeBatch(std::vector<std::size_t>& batch) REQUIRES(mutex_);
  void LowerFirstFailure(std::uint32_t recordNumber);
  bool Full() const REQUIRES(mutex_);
  bool FrontBatchFinished() const REQUIRES(mutex_);
  bool NothingBeingWritten() const REQUIRES(mutex_) { return writing_ == 0; }
  // Reports the finished records at the front, in record order; with waitAll, first waits until
  // every record is finished. Raises the first failure once every file written is reported.
  void ReportFinished(bool waitAll);
  [[noreturn]] void ReportFailure(std::size_t index) REQUIRES(mutex_);
  // Waits until ready, keeping the host responsive every kResponsiveInterval.
  void WaitResponsive(bool (WriterPipeline::*ready)() const) REQUIRES(mutex_);
  void Stop();
  std::size_t Front() const REQUIRES(mutex_) { return head_ % ring_.size(); }

  const RunContext& context_;
  RunReporter& reporter_;
  const bool fillOnWriters_;
  const std::size_t maxQueuedBytes_;
  const std::chrono::milliseconds judgeEvery_;
  const unsigned processors_ = std::thread::hardware_concurrency();
  std::size_t depth_ = 1;
  bool multipleWriters_ = false;
  std::optional<ThreadsShort> short_;

  // The calling thread's own.
  MergeScratch scratch_;
  FilledPieces page_;  // for the records written on this thread
  std::uint32_t failedFiles_ = 0;
  std::uint64_t nextSlot_ = 0;        // the slot that the next record fills, counted from 0
  std::vector<std::size_t> retained_;  // per slot, the bytes of buffers it keeps
  std::size_t retainedBytes_ = 0;
  ResponsiveTicker ticker_;

  // Sized once in the constructor and never resized, so that a slot stays where it is for the
  // pool's life and its index names it; what a slot holds belongs to whoever its state says.
  std::vector<Slot> ring_;

  Mutex mutex_;
  std::vector<SlotState> states_ GUARDED_BY(mutex_);  // per slot of ring_
  std::uint64_t head_ GUARDED_BY(mutex_) = 0;      // the oldest record not yet reported
  std::size_t queued_ GUARDED_BY(mutex_) = 0;      // records merged and not yet reported
  // The records not yet taken by a writer: those from readyFirst_ to readyEnd_, counted as
  // nextSlot_ counts them.
  std::uint64_t readyFirst_ GUARDED_BY(mutex_) = 0;
  std::uint64_t readyEnd_ GUARDED_BY(mutex_) = 0;
  // Files being written, each with the later records that name it, in record order: such a
  // record is written by the thread that closed the file before it. Open addressing by
  // Slot::keyHash over at least twice as many entries as slots, so that no record allocates.
  std::vector<BusyFile> busy_ GUARDED_BY(mutex_);
  std::size_t queuedBytes_ GUARDED_BY(mutex_) = 0;
  std::size_t writing_ GUARDED_BY(mutex_) = 0;   // slots taken by a writer and not finished
  std::size_t finished_ GUARDED_BY(mutex_) = 0;  // slots in state Done or NotStarted
  // Writers asleep for want of records, each until it is woken by name: a writer on its way is
  // never woken twice, and one that finds nothing left goes back on the list.
  std::vector<SleepingWriter*> sleeping_ GUARDED_BY(mutex_);
  // The writing threads that started, and how many of them may be awake at once: one beyond the
  // limit that finds no record of its file to write next goes to sleep, records or not.
  std::size_t started_ GUARDED_BY(mutex_) = 0;
  std::size_t awakeLimit_ GUARDED_BY(mutex_) = 0;
  // The writers' processor time since judged_.
  std::chrono::nanoseconds writersProcessor_ GUARDED_BY(mutex_){0};
  std::chrono::steady_clock::time_point judged_ GUARDED_BY(mutex_);
  std::condition_variable mergerWake_;
  // What the run's thread waits for (WaitResponsive), if it waits: the writer that makes it true
  // wakes it.
  bool (WriterPipeline::*mergerWaitsFor_)() const GUARDED_BY(mutex_) = nullptr;
  // Set once, when the pool stops: a plain flag under mutex_ for the writers that sleep, because
  // they sleep on condition variables that mutex_ guards and each is woken by name; stop_ tells
  // the writers that are busy, between the files of their batch, without the lock.
  bool closing_ GUARDED_BY(mutex_) = false;
  std::stop_source stop_;
  // The lowest record whose writing failed (kNoFailure while none did): once one failed, no record
  // is started. An atomic so that a writer can look between the files of its batch without
  // taking the lock.
  static constexpr std::uint32_t kNoFailure = 0xFFFFFFFFu;
  std::atomic<std::uint32_t> firstFailure_{kNoFailure};
  std::vector<std::thread> writers_;
};

}  // namespace velmora
