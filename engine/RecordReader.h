// Takes record lines out of the input file: a record ends at CR or CR LF; an LF alone is data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CodePageTable.h"
#include "platform/Platform.h"

namespace velmora {

// Where the bytes of an input come from: a file, or memory in tests.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to size bytes: how many were read, 0 at the end; fails with the system's error code
  // on a read error.
  virtual platform::Result<std::size_t> Read(char* buffer, std::size_t size) = 0;
};

// An open input file as a byte source.
class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(platform::InputFile& file) : file_(file) {}
  platform::Result<std::size_t> Read(char* buffer, std::size_t size) override {
    return file_.Read(buffer, size);
  }

 private:
  platform::InputFile& file_;
};

// The UTF-8 byte-order mark: a text that begins with it says that it is UTF-8.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Whether text begins with the UTF-8 byte-order mark.
inline bool StartsWithByteOrderMark(std::string_view text) {
  return text.starts_with(kUtf8ByteOrderMark);
}

// A byte source that drops a UTF-8 byte-order mark (EF BB BF) at the very start of another one,
// when asked to: the mark says how the text is encoded and is no data. Without the mark, or when
// not asked, every byte passes through unchanged.
class ByteOrderMarkSkipper : public ByteSource {
 public:
  ByteOrderMarkSkipper(ByteSource& source, bool skip) : source_(source), checked_(!skip) {}
  platform::Result<std::size_t> Read(char* buffer, std::size_t size) override;
  // The bytes of the mark dropped so far: 3 once a mark was dropped, else 0.
  std::uint64_t Dropped() const { return dropped_; }

 private:
  ByteSource& source_;
  bool checked_;
  std::uint64_t dropped_ = 0;
  char start_[kUtf8ByteOrderMark.size()] = {};
  std::size_t startSize_ = 0;
  std::size_t startPosition_ = 0;
  platform::Result<std::size_t> startRead_ = std::size_t{0};  // the last read while gathering
};

// The code page whose texts may begin with a byte-order mark that is no data.
inline constexpr unsigned kUtf8CodePage = 65001;

// Drops a UTF-8 byte-order mark from the start of text (a loaded template) when skip is set.
inline void DropByteOrderMark(std::string& text, bool skip) {
  if (skip && StartsWithByteOrderMark(text)) text.erase(0, kUtf8ByteOrderMark.size());
}

// Where records end. Cr: at CR or CR LF, and an LF alone is data (the window's way). Any: at CR
// LF, LF or CR, except inside a double-quoted stretch of a field, where each of those line breaks
// becomes the in-field break byte; quotes open and close as the field splitter takes them, and a
// blank line is no record. Auto: Any for an input that holds no CR at all, else Cr; the run
// decides before its first record (see ChooseLineEnds).
enum class LineEnds { Cr, Any, Auto };

// A line break inside a double-quoted stretch, which the reader at any line end turned into one
// byte of the record's line.
struct QuotedBreak {
  std::uint32_t at;     // where in the line
  std::uint8_t bytes;   // how many bytes it was in the file: 2 for CR LF, else 1
};

struct RecordEnds {
  LineEnds ends = LineEnds::Cr;
  char breakByte = '\x0A';                // Any: what a quoted line break becomes
  const CodePageTable* table = nullptr;   // Any: how bytes are classified; nullptr: the process's
};

// A buffered byte stream over a byte source: the reader scans the buffer directly and can look
// at the byte after a CR without consuming it.
class InputStream {
 public:
  explicit InputStream(ByteSource& source, std::size_t bufferSize = 1 << 16,
                       RecordEnds recordEnds = {});

  // Where records end.
  LineEnds Ends() const { return recordEnds_.ends; }
  // Number of bytes that the reader has consumed so far.
  std::uint64_t BytesConsumed() const { return consumedBefore_ + position_; }
  // Whether reading the source failed; the reader then delivers no further record.
  bool Failed() const { return failed_; }
  // The system's error code of the failed read; 0 when none failed or the system named none.
  platform::ErrorCode ReadError() const { return readError_; }

  // What a refill of the buffer met.
  enum class FillStatus { Ok, End, Error };
  // Under LineEnds::Cr: whether the input held an LF but no CR at all, so that it was read as
  // one record (known once the reader has reached the end).
  bool LfWithoutCr() const { return lfWithoutCr_; }

  // Under LineEnds::Any, of the record read last: the line of the file where it began (from 1),
  // and its quoted line breaks in line order. The reader counts the file's lines there as an
  // editor does: CR LF, CR and LF each end one.
  std::uint64_t RecordLine() const { return recordLine_; }
  const std::vector<QuotedBreak>& QuotedBreaks() const { return quotedBreaks_; }
  // Where in the file the record read last began: after the blank lines that the reader at any
  // line end skips.
  std::uint64_t RecordStart() const { return recordStart_; }
  // Under LineEnds::Any: the line where a double quote opened that the end of the input closed
  // (the last record then runs to the end of the file); 0 when every quoted stretch closed.
  std::uint64_t UnclosedQuoteLine() const { return unclosedQuoteLine_; }

 private:
  friend bool ReadRecord(InputStream& stream, std::string& line);

// What LineEnds::Auto comes to for the input file: Any when the file holds no CR byte at all,
// else Cr; lineEnds itself when it is no Auto. Reads the file to its end, then from its start
// again; a file that cannot be read twice (a pipe) is read as Cr. lfSeen: whether the bytes read
// before the first CR held an LF. Fails with the system's code when the file could not be read
// or go back to its start.
platform::Result<LineEnds> ChooseLineEnds(LineEnds lineEnds, platform::InputFile& input,
                                          bool& lfSeen);
  friend bool ReadRecordAtAnyLineEnd(InputStream& stream, std::string& line);

  // Refills the buffer once it is used up.
  FillStatus Fill();

  ByteSource& source_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t position_ = 0;
  std::size_t end_ = 0;
  std::uint64_t consumedBefore_ = 0;
  bool failed_ = false;
  platform::ErrorCode readError_ = 0;
  RecordEnds recordEnds_;
  bool crSeen_ = false;
  bool lfWithoutCr_ = false;
  std::uint64_t line_ = 1;  // Any: the line of the next byte to read
  std::uint64_t recordLine_ = 1;
  std::uint64_t recordStart_ = 0;
  std::uint64_t unclosedQuoteLine_ = 0;
  std::vector<QuotedBreak> quotedBreaks_;
};

// Empties line, then reads the next record into it, ending it as the stream's RecordEnds say.
// Returns true when a record was read (it may be empty), false at the end of the input or after a
// read error (the partial line is dropped).
bool ReadRecord(InputStream& stream, std::string& line);

// What LineEnds::Auto comes to for the input file: Any when the file holds no CR byte at all,
// else Cr; lineEnds itself when it is no Auto. Reads the file to its end, then from its start
// again; a file that cannot be read twice (a pipe) is read as Cr. lfSeen: whether the bytes read
// before the first CR held an LF. Fails with the system's code when the file could not be read
// or go back to its start.
platform::Result<LineEnds> ChooseLineEnds(LineEnds lineEnds, platform::InputFile& input,
                                          bool& lfSeen);

}  // namespace velmora
