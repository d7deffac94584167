// The writing threads' side of WriterPipeline: taking records, writing them, handing them back.
#include <algorithm>
#include <cassert>

#include "engine/OutputWriter.h"
#include "engine/WriterPipeline.h"
#include "platform/Platform.h"

namespace velmora {

namespace {

// Records that wait before the run's thread wakes a sleeping writer: a wake-up for every single
// record would cost more than writing a small file.
constexpr std::size_t kWakeBatch = 8;

}  // namespace

unsigned WritersToKeepAwake(double processorsUsed, unsigned processors, unsigned limit,
                            unsigned writers, bool recordsWait) {
  processors = std::max(processors, 1u);
  if (processorsUsed >= 0.5 * processors) return std::max(1u, std::min(processors, limit));
  if (processorsUsed < 0.25 * processors && recordsWait) return std::min(writers, 2 * limit);
  return limit;
}

void WriterPipeline::WriteSlot(Slot& slot, FillScratch& fill, FilledPieces& page,
                               const std::stop_token& stop) {
  // After a failure no file is opened: on a full disk every open would cut another page.
  slot.work.started = !stop.stop_requested() && firstFailure_.load() == kNoFailure;
  if (!slot.work.started) return;
  try {
    const FilledPieces* pieces = nullptr;
    if (fillOnWriters_) {
      // A file is written from the pieces of the filled template, so that the template's bytes
      // are not copied for every page; a sink and a dry run need the page in one piece.
      const OutputOptions& output = context_.output;
      if (output.sink == nullptr && !output.dryRun &&
          FillTemplatePieces(context_, slot.fields, fill, page)) {
        pieces = &page;
      } else {
        FillTemplate(context_, slot.fields, fill, slot.record.content);
      }
    }
    slot.work.outcome = WriteOutputFile(slot.record, context_, &slot.work.reason, pieces);
    // A huge page's storage goes with it, as a slot's does beyond maxQueuedBytes.
    if (page.values.capacity() > maxQueuedBytes_ / 8) page.values = {};
  } catch (...) {
    // Memory running out is a failure of this record like a failed write.
    slot.work.error = std::current_exception();
    LowerFirstFailure(slot.record.recordNumber);
  }
}

void WriterPipeline::LowerFirstFailure(std::uint32_t recordNumber) {
  std::uint32_t first = firstFailure_.load();
  while (recordNumber < first && !firstFailure_.compare_exchange_weak(first, recordNumber)) {
  }
}

std::size_t WriterPipeline::FindBusy(const Slot& slot) const {
  const std::size_t mask = busy_.size() - 1;
  for (std::size_t at = slot.keyHash & mask;; at = (at + 1) & mask) {
    const BusyFile& entry = busy_[at];
    if (entry.writing == kNoSlot) return at;
    const Slot& other = ring_[entry.writing];
    if (other.keyHash == slot.keyHash && other.record.fileKey == slot.record.fileKey) return at;
  }
}

void WriterPipeline::EraseBusy(std::size_t at) {
  // Later entries of the same run move back into the gap when their search would start at or
  // before it, so that no search stops at the gap short of them.
  const std::size_t mask = busy_.size() - 1;
  busy_[at] = BusyFile{};
  for (std::size_t next = (at + 1) & mask; busy_[next].writing != kNoSlot;
       next = (next + 1) & mask) {
    const std::size_t home = ring_[busy_[next].writing].keyHash & mask;
    if (((next - home) & mask) >= ((next - at) & mask)) {
      busy_[at] = busy_[next];
      busy_[next] = BusyFile{};
      at = next;
    }
  }
}

void WriterPipeline::TakeBatch(std::vector<std::size_t>& batch) {
  while (batch.size() < kTakeBatch && readyFirst_ != readyEnd_) {
    const std::size_t index = static_cast<std::size_t>(readyFirst_++ % ring_.size());
    Slot& slot = ring_[index];
    slot.nextSameFile = kNoSlot;
    if (slot.work.keyed) {
      BusyFile& entry = busy_[FindBusy(slot)];
      if (entry.writing != kNoSlot) {
        // Its file is open on another thread: that thread writes it once the file is closed.
        const std::size_t last = entry.lastWaiting != kNoSlot ? entry.lastWaiting : entry.writing;
        ring_[last].nextSameFile = index;
        entry.lastWaiting = index;
        continue;
      }
      entry.writing = index;
      entry.lastWaiting = kNoSlot;
    }
    batch.push_back(index);
  }
  if (MoreWritersNeeded()) WakeWriter();
}

bool WriterPipeline::MoreWritersNeeded() const {
  if (sleeping_.empty() || Awake() >= awakeLimit_) return false;
  if (Full()) return true;
  // Another writer only when those awake leave records waiting: on a file system that keeps the
  // processors busy, fewer writers leave the run's thread its processor.
  return ReadyCount() >= kWakeBatch * (Awake() + 1);
}

void WriterPipeline::JudgeWriters(std::chrono::nanoseconds processorTime) {
  writersProcessor_ += processorTime;
  const auto now = std::chrono::steady_clock::now();
  const std::chrono::duration<double> elapsed = now - judged_;
  if (elapsed < judgeEvery_) return;
  const bool recordsWait = Full() || ReadyCount() >= kWakeBatch * Awake();
  awakeLimit_ = WritersToKeepAwake(
      std::chrono::duration<double>(writersProcessor_).count() / elapsed.count(), processors_,
      static_cast<unsigned>(awakeLimit_), static_cast<unsigned>(started_), recordsWait);
  writersProcessor_ = {};
  judged_ = now;
}

void WriterPipeline::WakeWriter() {
  SleepingWriter* writer = sleeping_.back();
  sleeping_.pop_back();
  writer->woken = true;
  writer->wake.notify_one();
}

void WriterPipeline::WriterMain(std::stop_token stop) {
  SleepingWriter self;
  FillScratch fill;
  FilledPieces page;
  std::vector<std::size_t> batch;
  std::vector<std::size_t> next;
  std::chrono::nanoseconds processorCounted = platform::ThreadProcessorTime();
  MutexLock lock(mutex_);
  for (;;) {
    if (batch.empty()) {
      if (ReadyCount() == 0 || Awake() > awakeLimit_) {
        if (closing_) return;
        self.woken = false;
        sleeping_.push_back(&self);
        while (!self.woken) mutex_.Wait(self.wake);
        continue;
      }
      TakeBatch(batch);
      if (batch.empty()) continue;
    }
    for (const std::size_t index : batch) states_[index] = SlotState::Writing;
    writing_ += batch.size();
    lock.Unlock();
    for (const std::size_t index : batch) WriteSlot(ring_[index], fill, page, stop);
    const std::chrono::nanoseconds processorTime = platform::ThreadProcessorTime();
    lock.Lock();
    JudgeWriters(processorTime - processorCounted);
    processorCounted = processorTime;
    assert(writing_ >= batch.size());
    writing_ -= batch.size();
    next.clear();
    for (const std::size_t index : batch) {
      const Work& work = ring_[index].work;
      states_[index] = work.started ? SlotState::Done : SlotState::NotStarted;
      ++finished_;
      assert(finished_ <= queued_);
      if (!work.keyed) continue;
      const std::size_t at = FindBusy(ring_[index]);
      BusyFile& entry = busy_[at];
      const std::size_t waiting = ring_[index].nextSameFile;
      if (entry.writing != index) continue;  // dropped when a record failed
      if (waiting == kNoSlot) {
        EraseBusy(at);
      } else {
        // The next record of the same file, now that this thread has closed it.
        entry.writing = waiting;
        if (entry.lastWaiting == waiting) entry.lastWaiting = kNoSlot;
        next.push_back(waiting);
      }
    }
    if (mergerWaitsFor_ != nullptr && (this->*mergerWaitsFor_)()) {
      // Once: the run's thread is on its way.
      mergerWaitsFor_ = nullptr;
      mergerWake_.notify_one();
    }
    batch.swap(next);
  }
}

}  // namespace velmora
