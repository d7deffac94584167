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
// after a NUL byte (where the splitter stops) no quote counts. A line end with nothing before it
// ends a blank line, which is no record.
bool ReadRecordAtAnyLineEnd(InputStream& stream, std::string& line) {
  line.clear();
  stream.quotedBreaks_.clear();
  const RecordEnds& rule = stream.recordEnds_;
  const CodePageTable& table = rule.table != nullptr ? *rule.table : ProcessCodePageTable();
  const bool classify = !table.SplitIgnoresClasses();
  bool quoted = false;
  bool afterNul = false;
  bool quoteClosedLast = false;  // the byte before was a closing quote: "" reopens the stretch
  std::uint64_t quoteLine = 0;   // where the open stretch began
  ByteClass previous = ByteClass::OtherByte;
  // Takes an LF right after a CR into the same line break: whether there was one.
  auto skipLfAfterCr = [&] {
    if (stream.position_ == stream.end_ && stream.Fill() != InputStream::FillStatus::Ok) {
      return false;
    }
    if (stream.buffer_[stream.position_] != '\n') return false;
    ++stream.position_;
    return true;
  };
  for (;;) {
    if (stream.position_ == stream.end_) {
      InputStream::FillStatus status = stream.Fill();
      if (status == InputStream::FillStatus::End) {
        if (quoted) stream.unclosedQuoteLine_ = quoteLine;
        return !line.empty();
      }
      if (status == InputStream::FillStatus::Error) {
        line.clear();
        return false;
      }
    }
    if (line.empty()) {
      stream.recordStart_ = stream.BytesConsumed();
      stream.recordLine_ = stream.line_;
    }
    if (!classify) {
      // Where no quote can be a character's second byte, runs of bytes that neither end a record
      // nor open or close a stretch are copied whole.
      const char* begin = stream.buffer_.get() + stream.position_;
      const char* end = stream.buffer_.get() + stream.end_;
      const char* stop = begin;
      while (stop < end && !kStopsAnyLineEnd[static_cast<unsigned char>(*stop)]) ++stop;
      if (stop != begin) quoteClosedLast = false;
      line.append(begin, static_cast<std::size_t>(stop - begin));
      stream.position_ += static_cast<std::size_t>(stop - begin);
      if (stop == end) continue;
    }
    const char c = stream.buffer_[stream.position_++];
    if (c == '\r' || c == '\n') {
      const bool pair = c == '\r' && skipLfAfterCr();
      ++stream.line_;
      quoteClosedLast = false;
      if (!quoted) {
        if (line.empty()) continue;
        return true;
      }
      stream.quotedBreaks_.push_back(
          {static_cast<std::uint32_t>(line.size()), static_cast<std::uint8_t>(pair ? 2 : 1)});
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
    if (c == '"' && cls == ByteClass::OtherByte) {
      quoted = !quoted;
      if (quoted && !quoteClosedLast) quoteLine = stream.line_;
      quoteClosedLast = !quoted;
    } else {
      quoteClosedLast = false;
    }
  }
}

bool ReadRecord(InputStream& stream, std::string& line) {
  if (stream.recordEnds_.ends == LineEnds::Any) return ReadRecordAtAnyLineEnd(stream, line);
  line.clear();
  stream.recordStart_ = stream.BytesConsumed();
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

platform::Result<LineEnds> ChooseLineEnds(LineEnds lineEnds, platform::InputFile& input,
                                          bool& lfSeen) {
  lfSeen = false;
  if (lineEnds != LineEnds::Auto) return lineEnds;
  // Only a file that can go back to its start is looked at first.
  if (!input.Rewind()) return LineEnds::Cr;
  bool crSeen = false;
  std::unique_ptr<char[]> buffer(new char[std::size_t{1} << 16]);
  for (;;) {
    const platform::Result<std::size_t> got = input.Read(buffer.get(), std::size_t{1} << 16);
    if (!got) return platform::Failure{got.error()};
    if (*got == 0) break;
    const std::string_view bytes(buffer.get(), *got);
    lfSeen = lfSeen || bytes.find('\n') != std::string_view::npos;
    if (bytes.find('\r') != std::string_view::npos) {
      crSeen = true;
      break;
    }
  }
  if (const platform::Status back = input.Rewind(); !back) return platform::Failure{back.error()};
  return crSeen ? LineEnds::Cr : LineEnds::Any;
}

}  // namespace velmora
