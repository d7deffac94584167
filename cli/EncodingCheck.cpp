#include "cli/EncodingCheck.h"

#include <utility>

#include "cli/OutputFailures.h"
#include "engine/ByteScan.h"
#include "engine/RecordReader.h"
#include "platform/Platform.h"

namespace velmora {

namespace {

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

bool EncodingCheck::InspectTemplate(std::string_view templateText, std::uint64_t markBytes) {
  const std::size_t bad = FirstMalformedByte(templateText, table_);
  if (bad != std::string_view::npos) {
    template_.malformed = markBytes + bad;
    template_.malformedLine = 1 + CountLineEnds(templateText.substr(0, bad));
  }
  if (table_.CodePage() != kUtf8CodePage) {
    template_.look = LookAsUtf8(templateText);
    template_.utf8Evidence = template_.look == Utf8Look::Utf8 && LooksLikeUtf8(templateText);
    template_.byteOrderMark = StartsWithByteOrderMark(templateText);
  }
  stopped_ = strict_ && template_.malformed.has_value();
  return !stopped_;
}

bool EncodingCheck::InspectRecord(std::string_view line, std::uint32_t recordNumber,
                                  const RecordPlace& place) {
  const std::uint64_t offset = place.offset;
  if (!input_.malformed) {
    const std::size_t bad = FirstMalformedByte(line, table_);
    if (place.line != 0) {
      // Read at any line end: the reader counted the lines, and each quoted line break is one
      // byte of the line however many it was in the file.
      if (bad != std::string_view::npos) {
        std::uint64_t breaks = 0;
        std::uint64_t pairs = 0;
        for (const QuotedBreak& quoted : place.quotedBreaks) {
          if (quoted.at >= bad) break;
          ++breaks;
          pairs += quoted.bytes - 1u;
        }
        input_.malformed = offset + bad + pairs;
        input_.malformedLine = place.line + breaks;
      }
    } else {
      // The bytes between the last record and this one are that record's line end.
      if (inputSeen_ && offset > inputEnd_) ++inputLineEnds_;
      inputSeen_ = true;
      if (bad == std::string_view::npos) {
        inputLineEnds_ += CountLineEnds(line);
        inputEnd_ = offset + line.size();
      } else {
        input_.malformed = offset + bad;
        input_.malformedLine = 1 + inputLineEnds_ + CountLineEnds(line.substr(0, bad));
      }
    }
    if (input_.malformed) {
      input_.malformedRecord = recordNumber;
      if (strict_) {
        stopped_ = true;
        return false;
      }
    }
  }
  if (table_.CodePage() != kUtf8CodePage && input_.look != Utf8Look::NotUtf8) {
    if (recordNumber <= 1 && offset == 0) input_.byteOrderMark = StartsWithByteOrderMark(line);
    // Once a record is no UTF-8 the file is none: the rest of the run skips this look.
    const Utf8Look look = LookAsUtf8(line);
    if (look != Utf8Look::Ascii) input_.look = look;
    if (look == Utf8Look::Utf8 && !input_.utf8Evidence) input_.utf8Evidence = LooksLikeUtf8(line);
  }
  return true;
}

std::string EncodingCheck::FileReport(const FileCheck& file) const {
  std::string report;
  if (file.malformed) {
    report += std::string("velmora-batch: the ") + file.kind + " file " + DescribePath(file.path) +
              " is not well-formed " + CodePageName(table_.CodePage()) + " text at line " +
              std::to_string(file.malformedLine) + ", byte offset " +
              std::to_string(*file.malformed);
    if (file.malformedRecord == 0) {
      report += " (the header)";
    } else if (file.malformedRecord) {
      report += " (record " + std::to_string(*file.malformedRecord) + ")";
    }
    report += strict_ ? "; --strict ends the run there\n" : "\n";
  }
  if ((file.look == Utf8Look::Utf8 && file.utf8Evidence) || file.byteOrderMark) {
    report += std::string("velmora-batch: the ") + file.kind + " file " + DescribePath(file.path) +
              " looks like UTF-8 text, but the run reads " + CodePageName(table_.CodePage()) +
              ": use --code-page 65001 (or the UTF-8 edition of the window)\n";
  }
  return report;
}

std::string EncodingCheck::Report() const { return FileReport(template_) + FileReport(input_); }

}  // namespace velmora
