// The batch command's check that the template and the input are text of the code page in effect:
// warnings on standard error, and with --strict the end of the run at the first malformed text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/GenerationRun.h"
#include "engine/TextCheck.h"
#include "platform/CodePageTable.h"

namespace velmora {

class EncodingCheck : public RunInspector {
 public:
  // Checks the files at templatePath and inputPath (as the run opens them) in table's code page.
  // strict: the run ends at the first malformed text, before the template's first record or
  // before the malformed record.
  EncodingCheck(const CodePageTable& table, std::string templatePath, std::string inputPath,
                bool strict);

  bool InspectTemplate(std::string_view templateText, std::uint64_t markBytes) override;
  bool InspectRecord(std::string_view line, std::uint32_t recordNumber,
                     const RecordPlace& place) override;

  // Whether --strict ended the run.
  bool Stopped() const { return stopped_; }
  // The warnings, each one line ending in "\n": the first malformed place of each file (its line
  // and byte offset in the file, counted as the run read it: no file is opened again), and each
  // file that looks like UTF-8 while the code page is another one.
  std::string Report() const;

 private:
  struct FileCheck {
    std::string path;
    const char* kind = "";                    // "template", "input"
    std::optional<std::uint64_t> malformed;   // byte offset in the file
    std::uint64_t malformedLine = 0;          // the line of that byte, from 1
    std::optional<std::uint32_t> malformedRecord;  // of the input; 0 the header
    Utf8Look look = Utf8Look::Ascii;
    // A sequence of three or four bytes was among the valid UTF-8 (LooksLikeUtf8): two-byte ones
    // alone are good text of code page 932 as well.
    bool utf8Evidence = false;
    bool byteOrderMark = false;               // a UTF-8 mark the code page keeps as text
  };
  std::string FileReport(const FileCheck& file) const;

  // Line ends (CR LF, CR or LF, as an editor counts them) of the input up to the end of the last
  // record inspected, and where that record ended in the file.
  std::uint64_t inputLineEnds_ = 0;
  std::uint64_t inputEnd_ = 0;
  bool inputSeen_ = false;
  const CodePageTable& table_;
  bool strict_;
  bool stopped_ = false;
  FileCheck template_;
  FileCheck input_;
};

}  // namespace velmora
