#include "engine/RecordReader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace velmora {

platform::Result<std::size_t> ByteOrderMarkSkipper::Read(char* buffer, std::size_t size) {
  if (!checked_) {
    // Sources may deliver fewer bytes than asked for: gather the first three before deciding.
    checked_ = true;
    while (startSize_ < sizeof start_) {
      startRead_ = source_.Read(start_ + startSize_, sizeof start_ - startSize_);
      if (!startRead_ || *startRead_ == 0) break;
      startSize_ += *startRead_;
    }
    if (StartsWithByteOrderMark(std::string_view(start_, startSize_))) {
      startSize_ = 0;
      dropped_ = sizeof start_;
    }
  }
  if (startPosition_ < startSize_) {
    const std::size_t got = std::min(size, startSize_ - startPosition_);
    std::memcpy(buffer, start_ + startPosition_, got);
    startPosition_ += got;
    return got;
  }
  // A read error met while gathering is reported once the bytes before it are delivered.
  if (!startRead_) return startRead_;
  return source_.Read(buffer, size);
}

InputStream::InputStream(ByteSource& source, std::size_t bufferSize, RecordEnds recordEnds)
    : source_(source),
      buffer_(new char[bufferSize == 0 ? 1 : bufferSize]),
      capacity_(bufferSize == 0 ? 1 : bufferSize),
      recordEnds_(recordEnds) {}

InputStream::FillStatus InputStream::Fill() {
  if (failed_) return FillStatus::Error;
  consumedBefore_ += position_;
  position_ = 0;
  end_ = 0;
  const platform::Result<std::size_t> got = source_.Read(buffer_.get(), capacity_);
  if (!got) {
    failed_ = true;
    readError_ = got.error();
    return FillStatus::Error;
  }
  end_ = *got;
  return end_ == 0 ? FillStatus::End : FillStatus::Ok;
}

// The bytes that the reader at any line end looks at: line breaks, the quote and NUL.
constexpr auto kStopsAnyLineEnd = [] {
  std::array<bool, 256> stops{};
  stops['\r'] = stops['\n'] = stops['"'] = stops[0] = true;
  return stops;
}();

// Reads a record that ends at CR LF, LF or CR outside quotes. Byte by byte, as the splitter walks
// a line: only a quote that the code page's classes leave a character of its own counts, and
// after a NUL byte (where the splitter stops) no quote counts.
bool ReadRecordAtAnyLineEnd(InputStream& stream, std::string& line) {
  line.clear();
  const RecordEnds& rule = stream.recordEnds_;
  const CodePageTable& table = rule.table != nullptr ? *rule.table : ProcessCodePageTable();
  const bool classify = !table.SplitIgnoresClasses();
  bool quoted = false;
  bool afterNul = false;
  ByteClass previous = ByteClass::OtherByte;
  // Takes an LF right after a CR into the same line break.
  auto skipLfAfterCr = [&] {
    if (stream.position_ == stream.end_ && stream.Fill() != InputStream::FillStatus::Ok) return;
    if (stream.buffer_[stream.position_] == '\n') ++stream.position_;
  };
  for (;;) {
    if (stream.position_ == stream.end_) {
      InputStream::FillStatus status = stream.Fill();
      if (status == InputStream::FillStatus::End) return !line.empty();
      if (status == InputStream::FillStatus::Error) {
        line.clear();
        return false;
      }
    }
    if (!classify) {
      // Where no quote can be a character's second byte, runs of bytes that neither end a record
      // nor open or close a stretch are copied whole.
      const char* begin = stream.buffer_.get() + stream.position_;
      const char* end = stream.buffer_.get() + stream.end_;
      const char* stop = begin;
      while (stop < end && !kStopsAnyLineEnd[static_cast<unsigned char>(*stop)]) ++stop;
      line.append(begin, static_cast<std::size_t>(stop - begin));
      stream.position_ += static_cast<std::size_t>(stop - begin);
      if (stop == end) continue;
    }
    const char c = stream.buffer_[stream.position_++];
    if (c == '\r' || c == '\n') {
      if (c == '\r') skipLfAfterCr();
      if (!quoted) return true;
      line.push_back(rule.breakByte);
      if (classify) {
        previous = ClassifyByte(static_cast<unsigned char>(rule.breakByte), previous, table);
      }
      continue;
    }
    line.push_back(c);
    if (afterNul) continue;
    if (c == '\0') {
      afterNul = true;
      quoted = false;
      continue;
    }
    ByteClass cls = ByteClass::OtherByte;
    if (classify) {
      cls = ClassifyByte(static_cast<unsigned char>(c), previous, table);
      previous = cls;
    }
    // A doubled quote inside a quoted stretch closes and opens it again: it stays quoted.
    if (c == '"' && cls == ByteClass::OtherByte) quoted = !quoted;
  }
}

bool ReadRecord(InputStream& stream, std::string& line) {
  if (stream.recordEnds_.ends == LineEnds::Any) return ReadRecordAtAnyLineEnd(stream, line);
  line.clear();
  for (;;) {
    if (stream.position_ == stream.end_) {
      InputStream::FillStatus status = stream.Fill();
      if (status == InputStream::FillStatus::End) {
        // Without a CR anywhere the whole input is this one line.
        if (!stream.crSeen_ && line.find('\n') != std::string::npos) stream.lfWithoutCr_ = true;
        return !line.empty();
      }
      if (status == InputStream::FillStatus::Error) {
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
    stream.crSeen_ = true;
    stream.position_ += length + 1;
    // A CR ends the record; an LF right after it belongs to the same line end. Any other byte
    // is left in the stream, where it begins the next record.
    if (stream.position_ == stream.end_) {
      InputStream::FillStatus status = stream.Fill();
      if (status != InputStream::FillStatus::Ok) return true;
    }
    if (stream.buffer_[stream.position_] == '\n') ++stream.position_;
    return true;
  }
}

}  // namespace velmora
