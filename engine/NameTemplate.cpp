#include "engine/NameTemplate.h"

#include "engine/Placeholder.h"
#include "engine/ReplaceAll.h"

namespace velmora {

namespace {

constexpr std::int32_t kPlainText = 1;  // ReplaceFormat of a run in plain text

GeneratorSettings InPlainText(GeneratorSettings settings) {
  settings.ReplaceFormat = kPlainText;
  return settings;
}

}  // namespace

std::string OwnPlaceholder(const GeneratorSettings& settings, std::string_view name) {
  return settings.ReplaceLead + "#" + std::string(name) + settings.ReplaceTail;
}

NameTemplate::NameTemplate(std::string text, const RunContext& run)
    : settings_(InPlainText(run.settings)),
      text_(std::move(text)),
      context_(settings_, text_, run.separator, run.table, run.rules),
      recordPlaceholder_(OwnPlaceholder(settings_, "record")),
      constant_(!settings_.ReplaceLead.empty() &&
                FindAtCharacterStart(text_, settings_.ReplaceLead, 0, 0, run.table) ==
                    std::string::npos) {
  context_.namedPlaceholders = run.namedPlaceholders;
}

void NameTemplate::Fill(const FieldList& fields, std::uint32_t recordNumber, std::string& name) {
  if (constant_) {
    name.assign(text_);
    return;
  }
  FillTemplate(context_, fields, scratch_, name);
  ReplaceAll(name, recordPlaceholder_, std::to_string(recordNumber), context_.table);
}

}  // namespace velmora
