#include "engine/WriterPipeline.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <functional>
#include <system_error>
#include <utility>

#include "engine/OutputPath.h"
#include "engine/OutputWriter.h"

namespace velmora {

namespace {

// Records queued per writing thread unless the caller says otherwise, so that no thread runs dry.
constexpr std::size_t kSlotsPerWriter = 32;

// The storage a slot keeps for the next record.
std::size_t Capacity(const MergedRecord& record, const FieldList& fields) {
  std::size_t bytes = record.content.capacity();
  for (const std::string& field : fields) bytes += field.capacity();
  return bytes;
}

}  // namespace

unsigned DefaultWriterThreads() {
  return std::clamp(4 * std::thread::hardware_concurrency(), 4u, 32u);
}

WriterPipeline::WriterPipeline(const RunContext& context, RunReporter& reporter,
                               const WritingOptions& options)
    : context_(context),
      reporter_(reporter),
      fillOnWriters_(options.fillOnWriters || options.writers == 0),
      maxQueuedBytes_(options.maxQueuedBytes),
      judgeEvery_(options.judgeEvery),
      ticker_(reporter.Events()) {
  const unsigned writers = std::min(options.writers, kMaxWriterThreads);
  if (writers > 0) {
    depth_ = options.depth != 0 ? options.depth
                                : std::max<std::size_t>(256, kSlotsPerWriter * writers);
  }
  ring_.resize(depth_);
  retained_.assign(depth_, 0);
  {
    MutexLock lock(mutex_);
    states_.assign(depth_, SlotState::Free);
    busy_.assign(std::bit_ceil(2 * depth_), BusyFile{});
  }
  try {
    for (unsigned i = 0; i < writers; ++i) {
      writers_.emplace_back([this, stop = stop_.get_token()] { WriterMain(stop); });
    }
  } catch (const std::system_error& error) {
    // A limit on threads or memory: the threads that started write the files, and without any
    // the calling thread writes each one in Submit, as with no threads asked for.
    short_ = ThreadsShort{static_cast<unsigned>(writers_.size()), writers, error.code().message()};
  } catch (...) {
    Stop();
    throw;
  }
  // With one writer the files are written in record order anyway.
  multipleWriters_ = writers_.size() > 1;
  MutexLock lock(mutex_);
  started_ = writers_.size();
  awakeLimit_ = started_;
  judged_ = std::chrono::steady_clock::now();
}

WriterPipeline::~WriterPipeline() { Stop(); }

void WriterPipeline::Stop() {
  stop_.request_stop();
  {
    MutexLock lock(mutex_);
    closing_ = true;
    readyFirst_ = readyEnd_;
    while (!sleeping_.empty()) WakeWriter();
  }
  for (std::thread& writer : writers_) {
    if (writer.joinable()) writer.join();
  }
}

bool WriterPipeline::Full() const {
  return queued_ != 0 && (queued_ >= ring_.size() || queuedBytes_ >= maxQueuedBytes_);
}

bool WriterPipeline::FrontBatchFinished() const {
  if (queued_ == 0) return true;
  const SlotState front = states_[Front()];
  if (front != SlotState::Done && front != SlotState::NotStarted) return false;
  // Half the queue at once, so that the run's thread does not wake for every record.
  return finished_ >= std::min(std::max<std::size_t>(depth_ / 2, 1), queued_);
}

void WriterPipeline::Prepare(Slot& slot, std::string& line, std::uint32_t recordNumber,
                             LineAfterSplit after) {
  slot.work = Work{};
  if (fillOnWriters_) {
    // The filled template is about the template and the values together.
    slot.work.bytes = line.size() + context_.templateText.size();
    SplitAndNameRecord(line, recordNumber, context_, slot.fields, slot.record, after);
  } else {
    BuildMergedRecord(line, recordNumber, context_, scratch_, slot.record, after);
    slot.work.bytes = slot.record.content.size();
  }
  slot.work.keyed = multipleWriters_ && !slot.record.fileKey.empty();
  if (slot.work.keyed) slot.keyHash = std::hash<std::string>{}(slot.record.fileKey);
}

void WriterPipeline::Submit(std::string& line, std::uint32_t recordNumber, LineAfterSplit after) {
  if (writers_.empty()) {
    Slot& slot = ring_.front();
    Prepare(slot, line, recordNumber, after);
    if (slot.record.skipped) return;
    WriteSlot(slot, scratch_.fill, page_, stop_.get_token());
    Report(slot);
    Retain(0);
    return;
  }
  ReportFinished(false);
  const std::size_t index = nextSlot_ % ring_.size();
  Slot& slot = ring_[index];
  Prepare(slot, line, recordNumber, after);
  if (slot.record.skipped) return;  // the slot stays free for the next record
  {
    MutexLock lock(mutex_);
    assert(states_[index] == SlotState::Free && queued_ < ring_.size());
    states_[index] = SlotState::Queued;
    queuedBytes_ += slot.work.bytes;
    ++queued_;
    ++readyEnd_;
    if (MoreWritersNeeded()) WakeWriter();
  }
  ++nextSlot_;
}

void WriterPipeline::Interrupt() {
  stop_.request_stop();
  MutexLock lock(mutex_);
  // Sleeping writers take what is ready and leave it unstarted.
  while (!sleeping_.empty()) WakeWriter();
}

std::uint32_t WriterPipeline::Finish() {
  if (!writers_.empty()) ReportFinished(true);
  return failedFiles_;
}

void WriterPipeline::Report(Slot& slot) {
  if (slot.work.error) {
    try {
      std::rethrow_exception(slot.work.error);
    } catch (const platform::FileError& error) {
      // The run ends here; the log and what the host counts still include this record's file.
      reporter_.WriteFailed(slot.record, error);
    } catch (...) {
      // Memory ran out: no file failed.
    }
    std::rethrow_exception(slot.work.error);
  }
  if (!reporter_.Record(slot.record, slot.work.outcome, slot.work.reason)) ++failedFiles_;
}

void WriterPipeline::Retain(std::size_t index) {
  // Reported slots keep their buffers for the next records (fresh large buffers cost page
  // faults), up to as many bytes as the queue may hold.
  Slot& slot = ring_[index];
  retainedBytes_ -= retained_[index];
  std::size_t capacity = Capacity(slot.record, slot.fields);
  if (retainedBytes_ + capacity > maxQueuedBytes_) {
    std::string().swap(slot.record.content);
    FieldList().swap(slot.fields);
    capacity = 0;
  }
  retained_[index] = capacity;
  retainedBytes_ += capacity;
}

void WriterPipeline::WaitResponsive(bool (WriterPipeline::*ready)() const) {
  while (!(this->*ready)()) {
    // The writer that makes ready true wakes the run's thread once and clears the mark; the mark
    // is set again for every wait, so that no wake-up is lost to an early one.
    mergerWaitsFor_ = ready;
    mutex_.WaitFor(mergerWake_, kResponsiveInterval);
    mergerWaitsFor_ = nullptr;
    if ((this->*ready)()) return;
    MutexUnlock unlocked(mutex_);
    ticker_.Tick();
  }
}

void WriterPipeline::ReportFinished(bool waitAll) {
  MutexLock lock(mutex_);
  for (;;) {
    if (queued_ != 0 && states_[Front()] == SlotState::NotStarted) {
      // Interrupted before its writer began it: no file, no report.
      const std::size_t index = Front();
      states_[index] = SlotState::Free;
      ++head_;
      --queued_;
      --finished_;
      queuedBytes_ -= ring_[index].work.bytes;
      continue;
    }
    if (queued_ != 0 && states_[Front()] == SlotState::Done) {
      if (ring_[Front()].work.error) ReportFailure(Front());
      // Every written record at the front at once, reported without the lock (Done slots are
      // this thread's) and handed back under one taking of it: the writers wait for that lock.
      std::size_t run = 0;
      while (run < queued_ && states_[(head_ + run) % ring_.size()] == SlotState::Done &&
             !ring_[(head_ + run) % ring_.size()].work.error) {
        ++run;
      }
      const std::uint64_t first = head_;
      lock.Unlock();
      for (std::uint64_t n = first; n < first + run; ++n) {
        const auto index = static_cast<std::size_t>(n % ring_.size());
        Report(ring_[index]);
        Retain(index);
        ticker_.Tick();
      }
      lock.Lock();
      for (std::uint64_t n = first; n < first + run; ++n) {
        const auto index = static_cast<std::size_t>(n % ring_.size());
        states_[index] = SlotState::Free;
        queuedBytes_ -= ring_[index].work.bytes;
      }
      head_ += run;
      queued_ -= run;
      finished_ -= run;
      continue;
    }
    if (waitAll ? queued_ == 0 : !Full()) return;
    // Writers that sleep until a batch is queued get what there is: one for each batch, so
    // that no writer wakes to find nothing.
    for (std::size_t left = ReadyCount(); left > 0 && !sleeping_.empty() && Awake() < awakeLimit_;
         left -= std::min(left, kTakeBatch)) {
      WakeWriter();
    }
    WaitResponsive(&WriterPipeline::FrontBatchFinished);
  }
}

void WriterPipeline::ReportFailure(std::size_t index) {
  // Every record before the failed one is reported; no record starts now (on a full disk each
  // would cut another page), and those being written are let finish, so that the log can name
  // every file that the run created or changed.
  Slot& failed = ring_[index];
  LowerFirstFailure(failed.record.recordNumber);
  WaitResponsive(&WriterPipeline::NothingBeingWritten);
  std::vector<std::size_t> later;
  for (std::size_t i = 1; i < queued_; ++i) {
    const std::size_t at = (head_ + i) % ring_.size();
    if (states_[at] == SlotState::Done) later.push_back(at);
  }
  // The pool is done with: what it held is reported below, and a Finish after this finds nothing.
  for (std::size_t i = 0; i < queued_; ++i) states_[(head_ + i) % ring_.size()] = SlotState::Free;
  head_ += queued_;
  queued_ = 0;
  finished_ = 0;
  queuedBytes_ = 0;
  readyFirst_ = readyEnd_;
  std::fill(busy_.begin(), busy_.end(), BusyFile{});
  mutex_.Unlock();
  try {
    Report(failed);
  } catch (...) {
  }
  for (const std::size_t at : later) {
    Slot& slot = ring_[at];
    if (slot.work.error || slot.work.outcome == OutputOutcome::Written) {
      try {
        Report(slot);
      } catch (...) {
        // Named in the log; the run ends with the first failure.
      }
    }
  }
  // The progress ends as on one thread: at the record that failed.
  reporter_.Events().Progress(failed.record.recordNumber, 0, std::nullopt);
  mutex_.Lock();
  std::rethrow_exception(failed.work.error);
}

}  // namespace velmora
