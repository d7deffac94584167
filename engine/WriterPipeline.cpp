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
// Records a writer takes at once: one hand-over of the lock per file would make the threads wait
// for each other rather than for the file system.
constexpr std::size_t kTakeBatch = 8;
// Records queued per writing thread unless the caller says otherwise, so that no thread runs dry.
constexpr std::size_t kSlotsPerWriter = 16;

// The storage a reported slot keeps for the next record.
std::size_t Capacity(const MergedRecord& record, const FieldList& fields) {
  std::size_t bytes = record.content.capacity();
  for (const std::string& field : fields) bytes += field.capacity();
  return bytes;
}

}  // namespace

unsigned DefaultWriterThreads() {
  return std::clamp(4 * std::thread::hardware_concurrency(), 4u, 32u);
}

WriterPipeline::WriterPipeline(const RunContext& context, std::string& runLog, RunHost& host,
                               unsigned writers, bool fillOnWriters, std::size_t depth,
                               std::size_t maxQueuedBytes)
    : context_(context),
      runLog_(runLog),
      host_(host),
      fillOnWriters_(fillOnWriters),
      maxQueuedBytes_(maxQueuedBytes),
      ticker_(host) {
  writers = std::clamp(writers, 1u, kMaxWriterThreads);
  writerCount_ = writers;
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
    firstFailure_.store(0);
    while (!sleeping_.empty()) WakeWriter();
  }
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
    spareBytes_ -= Capacity(slot.record, slot.fields);
  }
  if (fillOnWriters_) {
    // The filled template is about the template and the values together.
    slot.bytes = line.size() + context_.templateText.size();
    SplitAndNameRecord(line, recordNumber, context_, slot.fields, slot.record, after);
  } else {
    BuildMergedRecord(line, recordNumber, context_, scratch_, slot.record, after);
    slot.bytes = slot.record.content.size();
  }
  slot.key.clear();
  if (multipleWriters_ && slot.record.accepted) {
    slot.key = OutputFileKey(slot.record.outputPath, context_.rules, context_.table);
  }
  slot.state = SlotState::Queued;
  slot.started = false;
  slot.outcome = OutputOutcome::Failed;
  slot.reason = 0;
  slot.error = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queuedBytes_ += slot.bytes;
    slots_.push_back(std::move(slot));
    ready_.push_back(&slots_.back());
    if (MoreWritersNeeded()) WakeWriter();
  }
}

std::uint32_t WriterPipeline::Finish() {
  ReportFinished(true);
  return failedFiles_;
}

void WriterPipeline::WaitResponsive(std::unique_lock<std::mutex>& lock,
                                    const std::function<bool()>& ready) {
  while (!ready()) {
    // A writer that sees the run's thread waiting wakes it once and clears the mark; the mark is
    // set again for every wait, so that no wake-up is lost to an early one.
    mergerWaiting_ = true;
    mergerWake_.wait_for(lock, kResponsiveInterval);
    mergerWaiting_ = false;
    if (ready()) return;
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
      queuedBytes_ -= slot.bytes;
      if (slot.error) ReportFailure(lock, slot);
      lock.unlock();
      if (!ReportOutput(slot.record, slot.outcome, context_, runLog_, host_, slot.reason)) {
        ++failedFiles_;
      }
      // Reported slots keep their buffers for the next records (fresh large buffers cost page
      // faults), up to as many bytes as the queue may hold.
      const std::size_t capacity = Capacity(slot.record, slot.fields);
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
    if (!ready_.empty()) {
      while (!sleeping_.empty()) WakeWriter();
    }
    WaitResponsive(lock, [this] { return FrontBatchFinished(); });
  }
}

void WriterPipeline::ReportFailure(std::unique_lock<std::mutex>& lock, Slot& failed) {
  // Every record before the failed one is reported; no later one starts now, and those being
  // written are let finish, so that the log can name every file that the run wrote.
  LowerFirstFailure(failed.record.recordNumber);
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

void WriterPipeline::LowerFirstFailure(std::uint32_t recordNumber) {
  std::uint32_t first = firstFailure_.load();
  while (recordNumber < first && !firstFailure_.compare_exchange_weak(first, recordNumber)) {
  }
}

void WriterPipeline::TakeBatch(std::vector<Slot*>& batch) {
  while (batch.size() < kTakeBatch && !ready_.empty()) {
    Slot* slot = ready_.front();
    ready_.pop_front();
    if (!slot->key.empty()) {
      auto [entry, fresh] = busy_.try_emplace(slot->key);
      if (!fresh) {
        // Its file is open on another thread: that thread writes it once the file is closed.
        entry->second.push_back(slot);
        continue;
      }
    }
    batch.push_back(slot);
  }
  if (MoreWritersNeeded()) WakeWriter();
}

void WriterPipeline::WriteSlot(Slot& slot, FillScratch& fill) {
  slot.started = slot.record.recordNumber < firstFailure_.load();
  if (!slot.started) return;
  try {
    if (fillOnWriters_) FillTemplate(context_, slot.fields, fill, slot.record.content);
    slot.outcome = WriteOutputFile(slot.record, context_, &slot.reason);
  } catch (...) {
    // Memory running out is a failure of this record like a failed write.
    slot.error = std::current_exception();
    LowerFirstFailure(slot.record.recordNumber);
  }
}

bool WriterPipeline::MoreWritersNeeded() const {
  if (sleeping_.empty()) return false;
  if (Full()) return true;
  // Another writer only when those awake leave records waiting: on a file system that keeps the
  // processors busy, fewer writers leave the run's thread its processor.
  const std::size_t awake = writerCount_ - sleeping_.size();
  return ready_.size() >= kWakeBatch * (awake + 1);
}

void WriterPipeline::WakeWriter() {
  SleepingWriter* writer = sleeping_.back();
  sleeping_.pop_back();
  writer->woken = true;
  writer->wake.notify_one();
}

void WriterPipeline::WriterMain() {
  SleepingWriter self;
  FillScratch fill;
  std::vector<Slot*> batch;
  std::vector<Slot*> next;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (batch.empty()) {
      if (ready_.empty()) {
        if (closing_) return;
        self.woken = false;
        sleeping_.push_back(&self);
        self.wake.wait(lock, [&self] { return self.woken; });
        continue;
      }
      TakeBatch(batch);
      if (batch.empty()) continue;
    }
    for (Slot* slot : batch) slot->state = SlotState::Writing;
    writing_ += batch.size();
    lock.unlock();
    for (Slot* slot : batch) WriteSlot(*slot, fill);
    lock.lock();
    writing_ -= batch.size();
    next.clear();
    for (Slot* slot : batch) {
      slot->state = slot->started ? SlotState::Done : SlotState::NotStarted;
      ++finished_;
      if (slot->key.empty()) continue;
      auto entry = busy_.find(slot->key);
      if (entry == busy_.end()) continue;
      if (entry->second.empty()) {
        busy_.erase(entry);
      } else {
        // The next record of the same file, now that this thread has closed it.
        next.push_back(entry->second.front());
        entry->second.pop_front();
      }
    }
    if (mergerWaiting_ && (writing_ == 0 || FrontBatchFinished())) {
      // Once: the run's thread is on its way.
      mergerWaiting_ = false;
      mergerWake_.notify_one();
    }
    batch.swap(next);
  }
}

}  // namespace velmora
