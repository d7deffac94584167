// A text filled from a record the way the template is, but with the values put in as plain text:
// the names of pages (velmora-batch --name-template) and of list files (--list-output).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/FieldSplitter.h"
#include "engine/RunContext.h"
#include "engine/TemplateFill.h"
#include "settings/GeneratorSettings.h"

namespace velmora {

// The placeholder of one of the program's own names (lead, "#", name, tail): "[$_#record_$]".
std::string OwnPlaceholder(const GeneratorSettings& settings, std::string_view name);

class NameTemplate {
 public:
  // text is filled with the run's lead, tail, default text, break byte and column names; only
  // its values are put in as in a plain-text run (no HTML escaping, a line break as CR LF).
  NameTemplate(std::string text, const RunContext& run);
  NameTemplate(const NameTemplate&) = delete;
  NameTemplate& operator=(const NameTemplate&) = delete;

  // Replaces name by the text filled from fields, and then its "#record" placeholders by
  // recordNumber. One thread at a time: it keeps its working storage. Memory running out raises
  // std::bad_alloc.
  void Fill(const FieldList& fields, std::uint32_t recordNumber, std::string& name);

 private:
  GeneratorSettings settings_;  // the run's, in plain text
  std::string text_;
  RunContext context_;
  std::string recordPlaceholder_;
  bool constant_;  // no placeholder can start in text_: every record gets it as it is
  FillScratch scratch_;
};

}  // namespace velmora
