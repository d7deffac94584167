#include "engine/RecordReader.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/MemoryByteSource.h"

namespace velmora {
namespace {

using namespace std::string_literals;

std::vector<std::string> ReadAll(const std::string& bytes, std::size_t chunk,
                                 std::size_t bufferSize, RecordEnds ends = {},
                                 bool* lfWithoutCr = nullptr,
                                 std::uint64_t* unclosedQuoteLine = nullptr) {
  test::MemoryByteSource source(bytes, chunk);
  InputStream stream(source, bufferSize, ends);
  std::vector<std::string> records;
  std::string line = "left over";
  while (ReadRecord(stream, line)) records.push_back(line);
  EXPECT_TRUE(line.empty());
  if (lfWithoutCr != nullptr) *lfWithoutCr = stream.LfWithoutCr();
  if (unclosedQuoteLine != nullptr) *unclosedQuoteLine = stream.UnclosedQuoteLine();
  return records;
}

TEST(RecordReader, EndsRecordsAtCrOrCrLfOnly) {
  struct Case {
    std::string bytes;
    std::vector<std::string> records;
    // The records when they end at any line end outside quotes, when that differs.
    std::optional<std::vector<std::string>> anyLineEnd = std::nullopt;
    bool lfWithoutCr = false;  // the reader tells that an LF-only input was one record
    // At any line end: the line where a quote opened that never closed.
    std::uint64_t unclosedQuoteLine = 0;
  };
  const std::vector<Case> cases = {
      {"a,b\r\nc,d\r\n", {"a,b", "c,d"}},
      {"a\rb", {"a", "b"}},
      {"a\nb\r\n", {"a\nb"}, {{"a", "b"}}},
      // At any line end a blank line is no record.
      {"a\r\r\nb", {"a", "", "b"}, {{"a", "b"}}},
      {"", {}},
      {"\r\n", {""}, {{}}},
      {"a\r\n\r\n", {"a", ""}, {{"a"}}},
      {"x,y", {"x,y"}},
      {"a\0b,c\r\n"s, {"a\0b,c"s}},
      {"\xef\xbb\xbf" "a\r\n", {"\xef\xbb\xbf" "a"}},
      {"\r\r", {"", ""}, {{}}},
      {"a\x1a" "b\r", {"a\x1a" "b"}},
      {"\n\n", {"\n\n"}, {{}}, true},
      {"\x82\r\nb", {"\x82", "b"}},
      {"id,name\n1,a\n", {"id,name\n1,a\n"}, {{"id,name", "1,a"}}, true},
      // Line breaks inside quotes become the break byte; a quote counts wherever it stands,
      // a doubled one keeps the stretch quoted, and after a NUL no quote counts.
      {"\"a\r\nb\",c\nd", {"\"a", "b\",c\nd"}, {{"\"a\nb\",c", "d"}}},
      {"\"a\nb\rc\"\r\n", {"\"a\nb", "c\""}, {{"\"a\nb\nc\""}}},
      {"x\"\"y\nz", {"x\"\"y\nz"}, {{"x\"\"y", "z"}}, true},
      {"a\"b\nc\"\nd", {"a\"b\nc\"\nd"}, {{"a\"b\nc\"", "d"}}, true},
      {"\"x\"\"\ny\"\n", {"\"x\"\"\ny\"\n"}, {{"\"x\"\"\ny\""}}, true},
      {"a\0\"\nb"s, {"a\0\"\nb"s}, {{"a\0\""s, "b"}}, true},
      // A quote that is the second byte of a character opens nothing.
      {"\x82\"\nb\"", {"\x82\"\nb\""}, {{"\x82\"", "b\""}}, true, 2},
      // A quote that never closes takes the rest of the file; its line is told, the line of
      // the stretch's first quote even when a doubled quote reopens it later.
      {"a\n\nb\"c\nd\n", {"a\n\nb\"c\nd\n"}, {{"a", "b\"c\nd\n"}}, true, 3},
      {"x\r\n\"y\"\"\r\nz", {"x", "\"y\"\"", "z"}, {{"x", "\"y\"\"\nz"}}, false, 2},
  };
  const CodePageTable quoteTrail = CodePageTable::FromRanges(999, {{0x81, 0x9F}}, {{0x01, 0xFE}});
  const RecordEnds any{LineEnds::Any, '\x0A', &quoteTrail};
  // Every buffer and chunk size, so that a CR at the end of a buffer is seen with its LF.
  for (const Case& c : cases) {
    for (std::size_t size : {1u, 2u, 3u, 7u, 4096u}) {
      EXPECT_EQ(ReadAll(c.bytes, size, size), c.records) << "size " << size;
      EXPECT_EQ(ReadAll(c.bytes, 1, size), c.records) << "chunk 1, buffer " << size;
      bool lfWithoutCr = false;
      std::uint64_t unclosed = 0;
      EXPECT_EQ(ReadAll(c.bytes, size, size, any, nullptr, &unclosed),
                c.anyLineEnd.value_or(c.records))
          << "any line end, size " << size;
      EXPECT_EQ(unclosed, c.unclosedQuoteLine) << "size " << size;
      ReadAll(c.bytes, size, size, {}, &lfWithoutCr);
      EXPECT_EQ(lfWithoutCr, c.lfWithoutCr) << "size " << size;
    }
  }
}

TEST(RecordReader, SkipsOneUtf8ByteOrderMarkAtTheVeryStartWhenAsked) {
  struct Case {
    std::string bytes;
    std::vector<std::string> skipped;  // the records when the mark is skipped
  };
  const std::vector<Case> cases = {
      {"\xef\xbb\xbf" "a,b\r\nc\r\n", {"a,b", "c"}},
      {"\xef\xbb\xbf", {}},  // a file of the mark alone holds no record
      {"\xef\xbb\xbf\r\n", {""}},
      {"\xef\xbb\xbf\xef\xbb\xbf" "a", {"\xef\xbb\xbf" "a"}},  // only the first one
      {"a\r\n\xef\xbb\xbf" "b", {"a", "\xef\xbb\xbf" "b"}},
      {"\xef\xbb" "a\r\n", {"\xef\xbb" "a"}},
      {"\xef\xbb", {"\xef\xbb"}},
      {"\xbb\xbf", {"\xbb\xbf"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    for (std::size_t chunk : {1u, 2u, 3u, 4096u}) {
      for (bool skip : {true, false}) {
        test::MemoryByteSource memory(c.bytes, chunk);
        ByteOrderMarkSkipper source(memory, skip);
        InputStream stream(source, chunk);
        std::vector<std::string> records;
        std::string line;
        while (ReadRecord(stream, line)) records.push_back(line);
        EXPECT_EQ(records, skip ? c.skipped : ReadAll(c.bytes, chunk, chunk))
            << "chunk " << chunk << (skip ? ", skipping" : "");
      }
    }
  }
  // A read error among the first bytes still ends the input as an error.
  test::MemoryByteSource memory("\xef\xbb\xbf" "a\r\n", 1, 2);
  ByteOrderMarkSkipper source(memory, true);
  InputStream stream(source, 4);
  std::string line;
  EXPECT_FALSE(ReadRecord(stream, line));
  EXPECT_TRUE(stream.Failed());
  EXPECT_EQ(stream.ReadError(), test::MemoryByteSource::kReadError);
}

TEST(RecordReader, DropsThePartialLineOnAReadErrorAndStops) {
  const std::string bytes = "one\r\ntwo\r\nthree";
  test::MemoryByteSource source(bytes, 4, 12);  // fails after "one\r\ntwo\r\nth"
  InputStream stream(source, 4);
  std::string line;
  std::vector<std::string> records;
  while (ReadRecord(stream, line)) records.push_back(line);
  EXPECT_EQ(records, (std::vector<std::string>{"one", "two"}));
  EXPECT_TRUE(line.empty());
  EXPECT_FALSE(ReadRecord(stream, line));
}

TEST(RecordReader, CountsConsumedBytes) {
  const std::string bytes = "ab\r\ncd\r\n";
  test::MemoryByteSource source(bytes);
  InputStream stream(source);
  std::string line;
  ASSERT_TRUE(ReadRecord(stream, line));
  EXPECT_EQ(stream.BytesConsumed(), 4u);
  ASSERT_TRUE(ReadRecord(stream, line));
  EXPECT_EQ(stream.BytesConsumed(), 8u);
}

}  // namespace
}  // namespace velmora
