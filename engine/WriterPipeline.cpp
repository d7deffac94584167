#include "engine/WriterPipeline.h"

#include <utility>

#include "engine/OutputWriter.h"

namespace velmora {

namespace {

std::size_t QueuedSize(const MergedRecord& record) { return record.content.size(); }

}  // namespace

WriterPipeline::WriterPipeline(const RunContext& context, std::string& runLog, RunHost& host,
                               std::size_t depth, std::size_t maxQueuedBytes)
    : context_(context),
      runLog_(runLog),
      host_(host),
      depth_(depth == 0 ? 1 : depth),
      maxQueuedBytes_(maxQueuedBytes) {
  writer_ = std::thread([this] { WriterMain(); });
}

WriterPipeline::~WriterPipeline() { Stop(); }

void WriterPipeline::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  writerWake_.notify_all();
  if (writer_.joinable()) writer_.join();
}

bool WriterPipeline::QueueFull() const {
  return !queue_.empty() && (queue_.size() >= depth_ || queuedBytes_ >= maxQueuedBytes_);
}

void WriterPipeline::Submit(std::string& line, std::uint32_t recordNumber, LineAfterSplit after) {
  MergedRecord record;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (QueueFull() && !failure_) {
      // Wait until the writer has caught up by half, not just by one record.
      mergerWaiting_ = true;
      mergerWake_.wait(lock, [this] {
        return failure_ || queue_.empty() ||
               (queue_.size() <= depth_ / 2 && queuedBytes_ < maxQueuedBytes_ / 2);
      });
      mergerWaiting_ = false;
    }
    if (failure_) std::rethrow_exception(failure_);
    if (!spare_.empty()) {
      record = std::move(spare_.back());
      spare_.pop_back();
      spareBytes_ -= record.content.capacity();
    }
  }
  BuildMergedRecord(line, recordNumber, context_, scratch_, record, after);
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queuedBytes_ += QueuedSize(record);
    queue_.push_back(std::move(record));
    // A sleeping writer gets a batch of records, or whatever is there once the queue is full.
    wake = writerWaiting_ && (queue_.size() >= depth_ / 4 || QueueFull());
  }
  if (wake) writerWake_.notify_one();
}

std::uint32_t WriterPipeline::Finish() {
  Stop();
  if (failure_) std::rethrow_exception(failure_);
  return failedFiles_;
}

void WriterPipeline::WriterMain() {
  // An exception that left the thread would end the process: memory running out while the writer
  // keeps its records ends the run like a failed write instead.
  try {
    WriterLoop();
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
    abandon_ = true;
    queue_.clear();
    mergerWake_.notify_all();
  }
}

void WriterPipeline::WriterLoop() {
  std::deque<MergedRecord> batch;
  std::vector<MergedRecord> written;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // Written records keep their buffers for reuse (fresh large buffers cost page faults), up
      // to as many bytes as the queue may hold; the rest are freed.
      for (MergedRecord& record : written) {
        const std::size_t capacity = record.content.capacity();
        if (spareBytes_ + capacity <= maxQueuedBytes_) {
          spareBytes_ += capacity;
          spare_.push_back(std::move(record));
        }
      }
      written.clear();
      if (queue_.empty() && !closing_) {
        writerWaiting_ = true;
        writerWake_.wait(lock, [this] { return !queue_.empty() || closing_; });
        writerWaiting_ = false;
      }
      if (queue_.empty() || abandon_) return;
      batch.swap(queue_);
      if (mergerWaiting_) mergerWake_.notify_one();
    }
    for (; !batch.empty(); batch.pop_front()) {
      MergedRecord& record = batch.front();
      try {
        platform::ErrorCode reason = 0;
        const OutputOutcome outcome = WriteOutputFile(record, context_, &reason);
        if (!ReportOutput(record, outcome, context_, runLog_, host_, reason)) {
          ++failedFiles_;
        }
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = std::current_exception();
        abandon_ = true;
        queue_.clear();
        mergerWake_.notify_all();
        return;
      }
      const std::size_t size = QueuedSize(record);
      written.push_back(std::move(record));
      std::lock_guard<std::mutex> lock(mutex_);
      queuedBytes_ -= size;
      if (mergerWaiting_ && queuedBytes_ < maxQueuedBytes_ / 2 && queue_.size() <= depth_ / 2) {
        mergerWake_.notify_one();
      }
    }
  }
}

}  // namespace velmora
