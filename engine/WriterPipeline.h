// Overlaps merging with writing: the run's thread merges records and a writer thread creates the
// files, strictly in record order, so that files, RunLog and the outcome are exactly those of a
// run on one thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/RecordMerger.h"
#include "engine/RunHost.h"

namespace velmora {

class WriterPipeline {
 public:
  // runLog and host are used by the writer thread until Finish returns or the pipeline is
  // destroyed; host must accept calls from that thread. At most depth records, and about
  // maxQueuedBytes of them (but always one), wait for the writer at any time.
  WriterPipeline(const RunContext& context, std::string& runLog, RunHost& host,
                 std::size_t depth = 64, std::size_t maxQueuedBytes = 8u << 20);
  // Writes what is queued (unless writing failed) and joins the writer thread.
  ~WriterPipeline();
  WriterPipeline(const WriterPipeline&) = delete;
  WriterPipeline& operator=(const WriterPipeline&) = delete;

  // Merges one record (BuildMergedRecord, with after for the line) and queues it for writing.
  // Rethrows a failure of the writer thread, so that no further record is read after a file could
  // not be written.
  void Submit(std::string& line, std::uint32_t recordNumber,
              LineAfterSplit after = LineAfterSplit::Keep);
  // Waits until every queued record is written; returns the number of records whose file could
  // not be opened. Rethrows a failure of the writer thread.
  std::uint32_t Finish();

 private:
  void WriterMain();
  void WriterLoop();
  void Stop();
  bool QueueFull() const;

  const RunContext& context_;
  std::string& runLog_;
  RunHost& host_;
  std::size_t depth_;
  std::size_t maxQueuedBytes_;
  MergeScratch scratch_;

  // Each side sleeps only when it has to, and is woken only when the other side has a batch of
  // work for it (or is done), so that the threads do not hand over every single record.
  std::mutex mutex_;
  std::condition_variable writerWake_;
  std::condition_variable mergerWake_;
  std::deque<MergedRecord> queue_;     // merged, waiting to be written
  std::vector<MergedRecord> spare_;    // written, ready for reuse
  std::size_t queuedBytes_ = 0;        // content bytes in queue_ and in the writer's hands
  std::size_t spareBytes_ = 0;         // content capacity held by spare_
  bool writerWaiting_ = false;
  bool mergerWaiting_ = false;
  bool closing_ = false;
  bool abandon_ = false;
  std::exception_ptr failure_;
  std::uint32_t failedFiles_ = 0;
  std::thread writer_;
};

}  // namespace velmora
