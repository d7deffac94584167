// The thirteen settings of a run, as the main window edits them and the settings file stores them.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// A record just constructed has every text empty and every number 0; the defaults of the settings
// file apply only when it is read.
struct GeneratorSettings {
  std::string Input;           // path of the input file of records
  std::string Output;          // path of the output folder
  std::string Template;        // path of the template file
  std::string ReplaceLead;     // text in front of the field number in a placeholder
  std::string ReplaceTail;     // text behind it
  std::string ReplaceDefault;  // text written in place of an empty field ("" for none)
  std::int32_t ReplaceFormat = 0;  // 0 HTML, anything else plain text
  std::string RuleLead;        // text in front of the number or field in a file name
  std::string RuleTail;        // text behind it, extension included
  std::int32_t Rule = 0;       // 0 by record number, 1 by field content
  std::uint32_t RuleNumber = 0;  // digits (rule 0) or field number (rule 1)
  std::int32_t FieldSeparator = 0;  // 0 comma, 1 TAB
  std::int32_t FieldBreak = 0;      // in-field line break: 0 is 0x0A, anything else 0x0B

  bool operator==(const GeneratorSettings&) const = default;
};

}  // namespace velmora
