#include "platform/CodePageTable.h"

#include "platform/Platform.h"

namespace velmora {

namespace {

struct NamedCodePage {
  unsigned codePage;
  CodePageTable::Ranges lead;
  CodePageTable::Ranges trail;
};

const NamedCodePage kNamedCodePages[] = {
    {932, {{0x81, 0x9F}, {0xE0, 0xFC}}, {{0x40, 0x7E}, {0x80, 0xFC}}},
    {936, {{0x81, 0xFE}}, {{0x40, 0xFE}}},
    {949, {{0x81, 0xFE}}, {{0x41, 0xFE}}},
    {950, {{0x81, 0xFE}}, {{0x40, 0x7E}, {0xA1, 0xFE}}},
    {1361, {{0x81, 0xD3}, {0xD8, 0xDE}, {0xE0, 0xF9}}, {{0x31, 0x7E}, {0x81, 0xFE}}},
};

CodePageTable& ProcessTable() {
  static CodePageTable table = CodePageTable::ForCodePage(65001);
  return table;
}

}  // namespace

CodePageTable CodePageTable::FromRanges(unsigned codePage, const Ranges& lead,
                                        const Ranges& trail) {
  CodePageTable table;
  table.codePage_ = codePage;
  for (auto [first, last] : lead) {
    for (unsigned b = first; b <= last; ++b) table.bits_[b] |= kLead;
  }
  for (auto [first, last] : trail) {
    for (unsigned b = first; b <= last; ++b) table.bits_[b] |= kTrail;
  }
  table.hasLead_ = !lead.empty();
  table.splitIgnoresClasses_ =
      !table.hasLead_ || !(table.IsTrail(0x00) || table.IsTrail(0x09) || table.IsTrail(0x22) ||
                           table.IsTrail(0x2C));
  return table;
}

CodePageTable CodePageTable::ForCodePage(unsigned codePage) {
  for (const auto& named : kNamedCodePages) {
    if (named.codePage == codePage) return FromRanges(codePage, named.lead, named.trail);
  }
  platform::CodePageInfo info = platform::QueryCodePage(codePage);
  if (info.known && info.maxCharSize >= 2) {
    return FromRanges(codePage, info.leadRanges,
                      info.leadRanges.empty() ? Ranges{} : Ranges{{0x01, 0xFE}});
  }
  CodePageTable table;
  table.codePage_ = codePage;
  return table;
}

void SetProcessCodePage(unsigned codePage) { ProcessTable() = CodePageTable::ForCodePage(codePage); }

unsigned ProcessCodePage() { return ProcessTable().CodePage(); }

const CodePageTable& ProcessCodePageTable() { return ProcessTable(); }

bool IsLeadByte(unsigned char byte) { return ProcessTable().IsLead(byte); }

ByteClass ClassifyByte(unsigned char byte, ByteClass previous, const CodePageTable& table) {
  if (previous == ByteClass::LeadByte) {
    return table.IsTrail(byte) ? ByteClass::TrailByte : ByteClass::OtherByte;
  }
  return table.IsLead(byte) ? ByteClass::LeadByte : ByteClass::OtherByte;
}

ByteClass ClassifyByte(unsigned char byte, ByteClass previous) {
  return ClassifyByte(byte, previous, ProcessTable());
}

bool LeadByteBefore(std::string_view text, std::size_t known, std::size_t position,
                    const CodePageTable& table) {
  std::size_t leads = 0;
  while (position - leads > known &&
         table.IsLead(static_cast<unsigned char>(text[position - leads - 1]))) {
    ++leads;
  }
  return leads % 2 == 1;
}

bool StartsCharacter(std::string_view text, std::size_t known, std::size_t position,
                     const CodePageTable& table) {
  return position >= text.size() || !table.IsTrail(static_cast<unsigned char>(text[position])) ||
         !LeadByteBefore(text, known, position, table);
}

}  // namespace velmora
