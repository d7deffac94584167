#include "engine/RecordReader.h"

#include <algorithm>
#include <cstring>

namespace velmora {

platform::ReadStatus ByteOrderMarkSkipper::Read(char* buffer, std::size_t size,
                                                std::size_t& got) {
  got = 0;
  if (!checked_) {
    // Sources may deliver fewer bytes than asked for: gather the first three before deciding.
    checked_ = true;
    while (startSize_ < sizeof start_) {
      std::size_t n = 0;
      startStatus_ = source_.Read(start_ + startSize_, sizeof start_ - startSize_, n);
      if (startStatus_ != platform::ReadStatus::Ok) break;
      startSize_ += n;
    }
    if (startSize_ == sizeof start_ && std::memcmp(start_, "\xEF\xBB\xBF", sizeof start_) == 0) {
      startSize_ = 0;
    }
  }
  if (startPosition_ < startSize_) {
    got = std::min(size, startSize_ - startPosition_);
    std::memcpy(buffer, start_ + startPosition_, got);
    startPosition_ += got;
    return platform::ReadStatus::Ok;
  }
  // A read error met while gathering is reported once the bytes before it are delivered.
  if (startStatus_ == platform::ReadStatus::Error) return startStatus_;
  return source_.Read(buffer, size, got);
}

InputStream::InputStream(ByteSource& source, std::size_t bufferSize)
    : source_(source),
      buffer_(new char[bufferSize == 0 ? 1 : bufferSize]),
      capacity_(bufferSize == 0 ? 1 : bufferSize) {}

platform::ReadStatus InputStream::Fill() {
  if (failed_) return platform::ReadStatus::Error;
  consumedBefore_ += position_;
  position_ = 0;
  end_ = 0;
  std::size_t got = 0;
  platform::ReadStatus status = source_.Read(buffer_.get(), capacity_, got);
  if (status == platform::ReadStatus::Ok) {
    end_ = got;
  } else if (status == platform::ReadStatus::Error) {
    failed_ = true;
  }
  return status;
}

bool ReadRecord(InputStream& stream, std::string& line) {
  line.clear();
  for (;;) {
    if (stream.position_ == stream.end_) {
      platform::ReadStatus status = stream.Fill();
      if (status == platform::ReadStatus::End) return !line.empty();
      if (status == platform::ReadStatus::Error) {
        line.clear();
        return false;
      }
    }
    const char* begin = stream.buffer_.get() + stream.position_;
    std::size_t available = stream.end_ - stream.position_;
    const void* cr = std::memchr(begin, '\r', available);
    if (cr == nullptr) {
      line.append(begin, available);
      stream.position_ = stream.end_;
      continue;
    }
    std::size_t length = static_cast<std::size_t>(static_cast<const char*>(cr) - begin);
    line.append(begin, length);
    stream.position_ += length + 1;
    // A CR ends the record; an LF right after it belongs to the same line end. Any other byte
    // is left in the stream, where it begins the next record.
    if (stream.position_ == stream.end_) {
      platform::ReadStatus status = stream.Fill();
      if (status != platform::ReadStatus::Ok) return true;
    }
    if (stream.buffer_[stream.position_] == '\n') ++stream.position_;
    return true;
  }
}

}  // namespace velmora
