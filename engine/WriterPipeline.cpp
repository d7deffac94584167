#include "engine/WriterPipeline.h"

namespace velmora {

WriterPipeline::WriterPipeline(const MergeContext& context, std::string& runLog, RunHost& host,
                               std::size_t depth)
    : context_(context), runLog_(runLog), host_(host), depth_(depth == 0 ? 1 : depth) {
  writer_ = std::thread([this] { WriterLoop(); });
}

WriterPipeline::~WriterPipeline() { Stop(); }

void WriterPipeline::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  if (writer_.joinable()) writer_.join();
}

void WriterPipeline::Submit(std::string_view line, char separator, std::string_view templateText,
                            std::uint32_t recordNumber) {
  MergedRecord record;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < depth_ || failure_; });
    if (failure_) std::rethrow_exception(failure_);
    if (!spare_.empty()) {
      record = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  BuildMergedRecord(line, separator, templateText, recordNumber, context_, scratch_, record);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(record));
  }
  changed_.notify_all();
}

std::uint32_t WriterPipeline::Finish() {
  Stop();
  if (failure_) std::rethrow_exception(failure_);
  return failedFiles_;
}

void WriterPipeline::WriterLoop() {
  for (;;) {
    MergedRecord record;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
      if (queue_.empty() || abandon_) return;
      record = std::move(queue_.front());
      queue_.pop_front();
    }
    changed_.notify_all();
    try {
      if (!WriteMergedRecord(record, context_, runLog_, host_)) ++failedFiles_;
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      failure_ = std::current_exception();
      abandon_ = true;
      queue_.clear();
      changed_.notify_all();
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    spare_.push_back(std::move(record));
  }
}

}  // namespace velmora
