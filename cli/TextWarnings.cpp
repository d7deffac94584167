#include "cli/TextWarnings.h"

#include <utility>

#include "cli/FailureReport.h"
#include "engine/RecordReader.h"
#include "platform/Platform.h"

namespace velmora {

namespace {

// Where offset (into the text as the run read it) lies in the file at path: its line, counting
// CR LF, CR and LF as line ends as an editor does, and its byte offset in the file, which also
// counts a byte-order mark that the run dropped. No line when the file cannot be read again.
struct FilePlace {
  std::optional<std::uint64_t> line;
  std::uint64_t offset = 0;
};

FilePlace PlaceInFile(const std::string& path, std::uint64_t offset, bool markDropped) {
  FilePlace place{std::nullopt, offset};
  platform::InputFile file;
  if (!file.Open(path)) return place;
  std::uint64_t line = 1;
  std::uint64_t at = 0;
  bool afterCr = false;
  bool markChecked = !markDropped;
  char buffer[1 << 16];
  for (;;) {
    std::size_t got = 0;
    if (file.Read(buffer, sizeof buffer, got) != platform::ReadStatus::Ok) break;
    std::size_t i = 0;
    if (!markChecked) {
      markChecked = true;
      if (StartsWithByteOrderMark(std::string_view(buffer, got))) {
        place.offset += kUtf8ByteOrderMark.size();
      }
    }
    for (; i < got && at < place.offset; ++i, ++at) {
      if (buffer[i] == '\n') {
        if (!afterCr) ++line;
        afterCr = false;
      } else {
        afterCr = buffer[i] == '\r';
        if (afterCr) ++line;
      }
    }
    if (at >= place.offset) {
      place.line = line;
      break;
    }
  }
  return place;
}

std::string CodePageName(unsigned codePage) {
  return codePage == kUtf8CodePage ? "UTF-8 (code page 65001)"
                                   : "code page " + std::to_string(codePage);
}

}  // namespace

EncodingCheck::EncodingCheck(const CodePageTable& table, std::string templatePath,
                             std::string inputPath, bool strict)
    : table_(table), strict_(strict) {
  template_.path = std::move(templatePath);
  template_.kind = "template";
  input_.path = std::move(inputPath);
  input_.kind = "input";
}

bool EncodingCheck::InspectTemplate(std::string_view templateText) {
  const std::size_t bad = FirstMalformedByte(templateText, table_);
  if (bad != std::string_view::npos) template_.malformed = bad;
  if (table_.CodePage() != kUtf8CodePage) {
    template_.look = LookAsUtf8(templateText);
    template_.byteOrderMark = StartsWithByteOrderMark(templateText);
  }
  stopped_ = strict_ && template_.malformed.has_value();
  return !stopped_;
}

bool EncodingCheck::InspectRecord(std::string_view line, std::uint32_t recordNumber,
                                  std::uint64_t offset) {
  if (!input_.malformed) {
    const std::size_t bad = FirstMalformedByte(line, table_);
    if (bad != std::string_view::npos) {
      input_.malformed = offset + bad;
      input_.malformedRecord = recordNumber;
      if (strict_) {
        stopped_ = true;
        return false;
      }
    }
  }
  if (table_.CodePage() != kUtf8CodePage && input_.look != Utf8Look::NotUtf8) {
    if (recordNumber == 1) input_.byteOrderMark = StartsWithByteOrderMark(line);
    // Once a record is no UTF-8 the file is none: the rest of the run skips this look.
    const Utf8Look look = LookAsUtf8(line);
    if (look != Utf8Look::Ascii) input_.look = look;
  }
  return true;
}

std::string EncodingCheck::FileReport(const FileCheck& file) const {
  std::string report;
  const bool markDropped = table_.CodePage() == kUtf8CodePage;
  if (file.malformed) {
    const FilePlace place = PlaceInFile(file.path, *file.malformed, markDropped);
    report += std::string("velmora-batch: the ") + file.kind + " file " + DescribePath(file.path) +
              " is not well-formed " + CodePageName(table_.CodePage()) + " text at ";
    if (place.line) report += "line " + std::to_string(*place.line) + ", ";
    report += "byte offset " + std::to_string(place.offset);
    if (file.malformedRecord != 0) report += " (record " + std::to_string(file.malformedRecord) + ")";
    report += strict_ ? "; --strict ends the run there\n" : "\n";
  }
  if (file.look == Utf8Look::Utf8 || file.byteOrderMark) {
    report += std::string("velmora-batch: the ") + file.kind + " file " + DescribePath(file.path) +
              " looks like UTF-8 text, but the run reads " + CodePageName(table_.CodePage()) +
              ": use --code-page 65001 (or the UTF-8 edition of the window)\n";
  }
  return report;
}

std::string EncodingCheck::Report() const { return FileReport(template_) + FileReport(input_); }

}  // namespace velmora
