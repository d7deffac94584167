// Reads the input as a file of records and splits every record, under each code page of the
// table, with buffer sizes and read chunks that put buffer edges everywhere, a read error at any
// offset, and a UTF-8 byte-order mark skipped or not; records and fields must be exactly those of
// the simple byte-by-byte rules (after the mark, when it is skipped and whole), records ending at
// CR or CR LF, or at any line end outside quotes.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/FieldSplitter.h"
#include "engine/RecordReader.h"
#include "tests/fuzz/Reference.h"
#include "tests/support/MemoryByteSource.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const CodePageTable table = reference::PickTable(provider.ConsumeIntegral<std::uint8_t>(),
                                                   provider.ConsumeIntegral<std::uint8_t>(),
                                                   provider.ConsumeIntegral<std::uint8_t>());
  const char separator = provider.ConsumeBool() ? '\t' : ',';
  const std::size_t bufferSize = provider.ConsumeIntegralInRange<std::size_t>(1, 64);
  const std::size_t chunk = provider.ConsumeIntegralInRange<std::size_t>(1, 64);
  const bool failing = provider.ConsumeBool();
  const std::size_t errorOffset = provider.ConsumeIntegral<std::uint16_t>();
  const bool skipMark = provider.ConsumeBool();
  const bool anyLineEnd = provider.ConsumeBool();
  const char breakByte = provider.ConsumeBool() ? '\x0B' : '\x0A';
  const std::string bytes = provider.ConsumeRemainingBytesAsString();
  const std::size_t errorAt = failing ? errorOffset : static_cast<std::size_t>(-1);

  // A mark cut short by a read error is no mark: its bytes come before the error as data.
  const bool markSkipped = skipMark && bytes.starts_with("\xEF\xBB\xBF") && errorAt >= 3;
  const std::string_view records = markSkipped ? std::string_view(bytes).substr(3) : bytes;
  const std::size_t dataErrorAt = markSkipped && failing ? errorAt - 3 : errorAt;
  const std::vector<std::string> expected =
      anyLineEnd ? reference::ReadRecordsAtAnyLineEnd(records, dataErrorAt, breakByte, table)
                 : reference::ReadRecords(records, dataErrorAt);
  test::MemoryByteSource memory(bytes, chunk, errorAt);
  ByteOrderMarkSkipper source(memory, skipMark);
  InputStream stream(source, bufferSize,
                     RecordEnds{anyLineEnd ? LineEnds::Any : LineEnds::Cr, breakByte, &table});
  std::string line = "left over from before";
  FieldList fields;  // reused from record to record, as the merge does
  std::size_t count = 0;
  while (ReadRecord(stream, line)) {
    reference::Check(count < expected.size(), "more records than the rules give");
    reference::Check(line == expected[count], "record differs from the rules");
    reference::Check(line.find('\r') == std::string::npos, "a record holds a CR");
    reference::Check(stream.BytesConsumed() <= bytes.size(), "consumed more than the input");
    SplitFields(line, separator, table, fields);
    reference::Check(!fields.empty(), "a record without fields");
    reference::Check(fields == reference::SplitFields(line, separator, table),
                     "fields differ from the rules");
    ++count;
  }
  reference::Check(count == expected.size(), "fewer records than the rules give");
  reference::Check(line.empty(), "the line is not empty after the last record");
  reference::Check(!ReadRecord(stream, line), "a record after the end");
  return 0;
}
