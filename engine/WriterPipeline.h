// Writes files on several threads while the run's thread merges records (or only splits and names
// them, the writers filling the template): files, RunLog and the outcome are exactly those of a
// run on one thread, because outcomes are reported in record order on the run's thread, and
// records that name one file are written one after the other.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/RecordMerger.h"
#include "engine/RunHost.h"

namespace velmora {

// The most writing threads a run may have (velmora-batch --jobs).
inline constexpr unsigned kMaxWriterThreads = 64;

// Writing threads for this machine when nobody chose: four per processor, at least four and at
// most 32. The time they hide is a file's close (a virus scanner reads the new file before
// CloseHandle returns), which waits without using the processor, so one thread per processor
// would leave the processors idle; beyond a few dozen the scanner itself is the queue.
unsigned DefaultWriterThreads();

class WriterPipeline {
 public:
  // Starts writers threads (1 to kMaxWriterThreads). runLog and host are used only on the
  // calling thread, in Submit and Finish. With fillOnWriters the writing threads fill the
  // template of each record before writing it, so that the calling thread only splits and names
  // the records. At most depth records (0: enough to keep every thread busy), and about
  // maxQueuedBytes of them (but always one), are merged and not yet reported.
  WriterPipeline(const RunContext& context, std::string& runLog, RunHost& host, unsigned writers,
                 bool fillOnWriters = false, std::size_t depth = 0,
                 std::size_t maxQueuedBytes = 8u << 20);
  // Lets the records being written finish, starts no other and joins the threads.
  ~WriterPipeline();
  WriterPipeline(const WriterPipeline&) = delete;
  WriterPipeline& operator=(const WriterPipeline&) = delete;

  // Merges one record (BuildMergedRecord, with after for the line; with fillOnWriters only
  // SplitAndNameRecord), queues it for writing and
  // reports the records written since, in record order. Waits while the queue is full, calling
  // host.KeepResponsive meanwhile. Raises the failure of the first record whose file could not be
  // written or closed (see Finish), so that no further record is read.
  void Submit(std::string& line, std::uint32_t recordNumber,
              LineAfterSplit after = LineAfterSplit::Keep);
  // Waits until every record is written and reported; returns the number of records whose file
  // could not be opened. When a record's file could not be written or closed (platform::FileError)
  // or memory ran out, no later record is started; the records before it are reported, then the
  // files of later records that were already written ("path -> ok"), and its failure is raised.
  std::uint32_t Finish();

 private:
  enum class SlotState { Queued, Writing, Done, NotStarted };
  struct Slot {
    MergedRecord record;
    FieldList fields;  // with fillOnWriters: the record's fields, until a writer fills it
    std::size_t bytes = 0;  // what the slot counts against maxQueuedBytes
    std::string key;  // OutputFileKey of the path; empty when no other thread may meet it
    SlotState state = SlotState::Queued;
    OutputOutcome outcome = OutputOutcome::Failed;
    platform::ErrorCode reason = 0;  // why the file could not be opened
    std::exception_ptr error;
    bool started = false;  // whether its writer began it (that writer's alone)
  };

  struct SleepingWriter {
    std::condition_variable wake;
    bool woken = false;
  };

  void WriterMain();
  // Whether records wait that the writers awake will not soon take (lock held).
  bool MoreWritersNeeded() const;
  // Wakes the writer that slept last (lock held; sleeping_ not empty).
  void WakeWriter();
  // Takes up to a batch of ready records for one writer (lock held); a record whose file another
  // writer has open joins that file's queue instead.
  void TakeBatch(std::vector<Slot*>& batch);
  // Fills (with fillOnWriters) and writes the record's file, unless an earlier record failed.
  void WriteSlot(Slot& slot, FillScratch& fill);
  void LowerFirstFailure(std::uint32_t recordNumber);
  bool Full() const;
  bool FrontBatchFinished() const;
  // Reports the finished records at the front, in record order; with waitAll, first waits until
  // every record is finished. Raises the first failure once every file written is reported.
  void ReportFinished(bool waitAll);
  [[noreturn]] void ReportFailure(std::unique_lock<std::mutex>& lock, Slot& failed);
  void WaitResponsive(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready);
  void Stop();

  const RunContext& context_;
  std::string& runLog_;
  RunHost& host_;
  bool fillOnWriters_;
  std::size_t depth_;
  std::size_t maxQueuedBytes_;
  std::size_t writerCount_ = 1;
  bool multipleWriters_;
  MergeScratch scratch_;
  std::vector<Slot> spare_;  // reported slots, kept for their buffers (run's thread only)
  std::size_t spareBytes_ = 0;
  std::uint32_t failedFiles_ = 0;
  ResponsiveTicker ticker_;

  std::mutex mutex_;
  std::condition_variable mergerWake_;
  std::deque<Slot> slots_;    // merged and not yet reported, in record order
  std::deque<Slot*> ready_;   // not yet taken by a writer, in record order
  // Files being written, each with the later records that name it, in record order: such a
  // record is written by the thread that closed the file before it.
  std::unordered_map<std::string, std::deque<Slot*>> busy_;
  std::size_t queuedBytes_ = 0;
  std::size_t writing_ = 0;       // slots taken by a writer and not yet finished
  std::size_t finished_ = 0;      // slots in state Done or NotStarted
  // Writers asleep for want of records, each until it is woken by name: a writer on its way is
  // never woken twice, and one that finds nothing left goes back on the list.
  std::vector<SleepingWriter*> sleeping_;
  bool mergerWaiting_ = false;
  bool closing_ = false;
  // The lowest record whose writing failed: no record after it is started. Writers read it
  // without the lock between the files of a batch.
  std::atomic<std::uint32_t> firstFailure_{0xFFFFFFFFu};
  std::vector<std::thread> writers_;
};

}  // namespace velmora
