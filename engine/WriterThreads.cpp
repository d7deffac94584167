// The writing threads' side of WriterPipeline: taking records, writing them, handing them back.
#include <cassert>

#include "engine/OutputWriter.h"
#include "engine/WriterPipeline.h"

namespace velmora {

namespace {

// Records that wait before the run's thread wakes a sleeping writer: a wake-up for every single
// record would cost more than writing a small file.
constexpr std::size_t kWakeBatch = 8;
// Records a writer takes at once: one hand-over of the lock per file would make the threads wait
// for each other rather than for the file system.
constexpr std::size_t kTakeBatch = 8;

}  // namespace

void WriterPipeline::WriteSlot(Slot& slot, FillScratch& fill, const std::stop_token& stop) {
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
          FillTemplatePieces(context_, slot.fields, fill, slot.pieces)) {
        pieces = &slot.pieces;
      } else {
        FillTemplate(context_, slot.fields, fill, slot.record.content);
      }
    }
    slot.work.outcome = WriteOutputFile(slot.record, context_, &slot.work.reason, pieces);
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

void WriterPipeline::TakeBatch(std::vector<std::size_t>& batch) {
  while (batch.size() < kTakeBatch && !ready_.empty()) {
    const std::size_t index = ready_.front();
    ready_.pop_front();
    const Slot& slot = ring_[index];
    if (slot.work.keyed) {
      const std::string& key = slot.record.fileKey;
      auto [entry, fresh] = busy_.try_emplace(key);
      if (!fresh) {
        // Its file is open on another thread: that thread writes it once the file is closed.
        entry->second.push_back(index);
        continue;
      }
    }
    batch.push_back(index);
  }
  if (MoreWritersNeeded()) WakeWriter();
}

bool WriterPipeline::MoreWritersNeeded() const {
  if (sleeping_.empty()) return false;
  if (Full()) return true;
  // Another writer only when those awake leave records waiting: on a file system that keeps the
  // processors busy, fewer writers leave the run's thread its processor.
  const std::size_t awake = writers_.size() - sleeping_.size();
  return ready_.size() >= kWakeBatch * (awake + 1);
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
  std::vector<std::size_t> batch;
  std::vector<std::size_t> next;
  MutexLock lock(mutex_);
  for (;;) {
    if (batch.empty()) {
      if (ready_.empty()) {
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
    for (const std::size_t index : batch) WriteSlot(ring_[index], fill, stop);
    lock.Lock();
    assert(writing_ >= batch.size());
    writing_ -= batch.size();
    next.clear();
    for (const std::size_t index : batch) {
      const Work& work = ring_[index].work;
      states_[index] = work.started ? SlotState::Done : SlotState::NotStarted;
      ++finished_;
      assert(finished_ <= queued_);
      if (!work.keyed) continue;
      auto entry = busy_.find(ring_[index].record.fileKey);
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
