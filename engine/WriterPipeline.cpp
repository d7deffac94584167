#include "engine/WriterPipeline.h"

#include <algorithm>
#include <utility>

#include "engine/OutputPath.h"
#include "engine/OutputWriter.h"

namespace velmora {

namespace {

// Records that wait before the run's thread wakes a sleeping writer: a wake-up for every single
// record would cost more than writing a small file.
constexpr std::size_t kWakeBatch = 8;
// Records queued per writing thread unless the caller says otherwise, so that no thread runs dry.
constexpr std::size_t kSlotsPerWriter = 16;

}  // namespace

unsigned DefaultWriterThreads() {
  return std::clamp(4 * std::thread::hardware_concurrency(), 4u, 32u);
}

WriterPipeline::WriterPipeline(const RunContext& context, std::string& runLog, RunHost& host,
                               unsigned writers, std::size_t depth, std::size_t maxQueuedBytes)
    : context_(context),
      runLog_(runLog),
      host_(host),
      maxQueuedBytes_(maxQueuedBytes),
      ticker_(host) {
  writers = std::clamp(writers, 1u, kMaxWriterThreads);
  depth_ = depth != 0 ? depth : std::max<std::size_t>(64, kSlotsPerWriter * writers);
  // With one writer the files are written in record order anyway.
  multipleWriters_ = writers > 1;
  try {
    for (unsigned i = 0; i < writers; ++i) writers_.emplace_back([this] { WriterMain(); });
  } catch (...) {
    Stop();
    throw;
  }
}

WriterPipeline::~WriterPipeline() { Stop(); }

void WriterPipeline::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    firstFailure_ = 0;
  }
  writerWake_.notify_all();
  for (std::thread& writer : writers_) {
    if (writer.joinable()) writer.join();
  }
}

bool WriterPipeline::Full() const {
  return !slots_.empty() && (slots_.size() >= depth_ || queuedBytes_ >= maxQueuedBytes_);
}

bool WriterPipeline::FrontBatchFinished() const {
  if (slots_.empty()) return true;
  const SlotState front = slots_.front().state;
  if (front != SlotState::Done && front != SlotState::NotStarted) return false;
  // A quarter of the queue at once, so that the run's thread does not wake for every record.
  return finished_ >= std::min(std::max<std::size_t>(depth_ / 4, 1), slots_.size());
}

void WriterPipeline::Submit(std::string& line, std::uint32_t recordNumber, LineAfterSplit after) {
  ReportFinished(false);
  Slot slot;
  if (!spare_.empty()) {
    slot = std::move(spare_.back());
    spare_.pop_back();
    spareBytes_ -= slot.record.content.capacity();
  }
  BuildMergedRecord(line, recordNumber, context_, scratch_, slot.record, after);
  slot.key.clear();
  if (multipleWriters_ && slot.record.accepted) {
    slot.key = OutputFileKey(slot.record.outputPath, context_.rules, context_.table);
  }
  slot.state = SlotState::Queued;
  slot.outcome = OutputOutcome::Failed;
  slot.reason = 0;
  slot.error = nullptr;
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queuedBytes_ += slot.record.content.size();
    slots_.push_back(std::move(slot));
    ready_.push_back(&slots_.back());
    wake = idleWriters_ > 0 && (ready_.size() >= std::min(kWakeBatch, depth_) || Full());
  }
  if (wake) writerWake_.notify_one();
}

std::uint32_t WriterPipeline::Finish() {
  ReportFinished(true);
  return failedFiles_;
}

void WriterPipeline::WaitResponsive(std::unique_lock<std::mutex>& lock,
                                    const std::function<bool()>& ready) {
  while (!ready()) {
    mergerWaiting_ = true;
    const bool done = mergerWake_.wait_for(lock, kResponsiveInterval, ready);
    mergerWaiting_ = false;
    if (done) return;
    lock.unlock();
    ticker_.Tick();
    lock.lock();
  }
}

void WriterPipeline::ReportFinished(bool waitAll) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!slots_.empty() && slots_.front().state == SlotState::Done) {
      Slot slot = std::move(slots_.front());
      slots_.pop_front();
      --finished_;
      queuedBytes_ -= slot.record.content.size();
      if (slot.error) ReportFailure(lock, slot);
      lock.unlock();
      if (!ReportOutput(slot.record, slot.outcome, context_, runLog_, host_, slot.reason)) {
        ++failedFiles_;
      }
      // Reported slots keep their buffers for the next records (fresh large buffers cost page
      // faults), up to as many bytes as the queue may hold.
      const std::size_t capacity = slot.record.content.capacity();
      if (spareBytes_ + capacity <= maxQueuedBytes_) {
        spareBytes_ += capacity;
        spare_.push_back(std::move(slot));
      }
      ticker_.Tick();
      lock.lock();
      continue;
    }
    if (waitAll ? slots_.empty() : !Full()) return;
    // Writers that sleep until a batch is queued get what there is.
    if (idleWriters_ > 0 && !ready_.empty()) writerWake_.notify_all();
    WaitResponsive(lock, [this] { return FrontBatchFinished(); });
  }
}

void WriterPipeline::ReportFailure(std::unique_lock<std::mutex>& lock, Slot& failed) {
  // Every record before the failed one is reported; no later one starts now, and those being
  // written are let finish, so that the log can name every file that the run wrote.
  firstFailure_ = std::min(firstFailure_, failed.record.recordNumber);
  WaitResponsive(lock, [this] { return writing_ == 0; });
  std::deque<Slot> later;
  later.swap(slots_);
  ready_.clear();
  busy_.clear();
  finished_ = 0;
  queuedBytes_ = 0;
  lock.unlock();
  try {
    std::rethrow_exception(failed.error);
  } catch (const platform::FileError&) {
    ReportWriteFailure(failed.record, context_);
  } catch (...) {
    // Memory ran out: no file failed.
  }
  for (const Slot& slot : later) {
    if (slot.state == SlotState::Done && !slot.error && slot.outcome == OutputOutcome::Written) {
      ReportOutput(slot.record, slot.outcome, context_, runLog_, host_);
    }
  }
  // The status line ends as on one thread: with the progress text of the record that failed.
  host_.ShowProgress(failed.record.recordNumber, 0, std::nullopt);
  std::rethrow_exception(failed.error);
}

void WriterPipeline::WriterMain() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (ready_.empty()) {
      if (closing_) return;
      ++idleWriters_;
      writerWake_.wait(lock, [this] { return !ready_.empty() || closing_; });
      --idleWriters_;
      continue;
    }
    Slot* slot = ready_.front();
    ready_.pop_front();
    if (!ready_.empty() && idleWriters_ > 0) writerWake_.notify_one();
    if (!slot->key.empty()) {
      auto [entry, fresh] = busy_.try_emplace(slot->key);
      if (!fresh) {
        // Its file is open on another thread: that thread writes it once the file is closed.
        entry->second.push_back(slot);
        continue;
      }
    }
    while (slot != nullptr) {
      const bool start = slot->record.recordNumber < firstFailure_;
      if (start) {
        slot->state = SlotState::Writing;
        ++writing_;
        lock.unlock();
        try {
          slot->outcome = WriteOutputFile(slot->record, context_, &slot->reason);
        } catch (...) {
          // Memory running out is a failure of this record like a failed write.
          slot->error = std::current_exception();
        }
        lock.lock();
        --writing_;
        if (slot->error) firstFailure_ = std::min(firstFailure_, slot->record.recordNumber);
      }
      slot->state = start ? SlotState::Done : SlotState::NotStarted;
      ++finished_;
      Slot* next = nullptr;
      if (!slot->key.empty()) {
        auto entry = busy_.find(slot->key);
        if (entry != busy_.end()) {
          if (entry->second.empty()) {
            busy_.erase(entry);
          } else {
            next = entry->second.front();
            entry->second.pop_front();
          }
        }
      }
      if (mergerWaiting_ && (writing_ == 0 || FrontBatchFinished())) mergerWake_.notify_one();
      slot = next;
    }
  }
}

}  // namespace velmora
