#include "engine/ColumnNames.h"

#include <algorithm>

#include "engine/Placeholder.h"

namespace velmora {

ColumnNames ReadColumnNames(const FieldList& header) {
  ColumnNames columns;
  columns.names = header;
  columns.naming.assign(header.size(), 0);
  for (std::size_t i = 0; i < header.size(); ++i) {
    const std::string& name = header[i];
    if (name.empty()) {
      columns.unnamed.push_back({i, Unnamed::Empty, 0});
    } else if (IsDigitsOnly(name)) {
      columns.unnamed.push_back({i, Unnamed::Digits, 0});
    } else if (name.front() == '#') {
      columns.unnamed.push_back({i, Unnamed::Own, 0});
    } else if (const auto earlier = FindColumn(columns, name)) {
      columns.unnamed.push_back({i, Unnamed::Repeat, *earlier});
    } else {
      columns.naming[i] = 1;
    }
  }
  return columns;
}

std::optional<std::size_t> FindColumn(const ColumnNames& columns, std::string_view name) {
  for (std::size_t i = 0; i < columns.naming.size(); ++i) {
    if (columns.naming[i] && columns.names[i] == name) return i;
  }
  return std::nullopt;
}

std::vector<std::string> NamedPlaceholders(const ColumnNames& columns, std::string_view lead,
                                           std::string_view tail) {
  std::vector<std::string> placeholders(columns.names.size());
  for (std::size_t i = 0; i < placeholders.size(); ++i) {
    if (!columns.naming[i]) continue;
    placeholders[i] = NamedPlaceholder(lead, columns.names[i], tail);
  }
  return placeholders;
}

std::vector<std::string> UnknownNamedPlaceholders(std::string_view templateText,
                                                  std::string_view lead, std::string_view tail,
                                                  const ColumnNames& columns,
                                                  const CodePageTable& table) {
  std::vector<std::string> unknown;
  if (lead.empty() || tail.empty()) return unknown;
  const std::vector<std::string> known = NamedPlaceholders(columns, lead, tail);
  std::size_t count = 0;  // characters are counted afresh from here (CountAfreshFrom)
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = FindAtCharacterStart(templateText, lead, count, from, table);
    if (at == std::string_view::npos) break;
    count = CountAfreshFrom(templateText, count, at, table);
    // A column's own placeholder may hold the tail inside its name: it is taken whole.
    const std::string_view rest = templateText.substr(at);
    const auto whole = std::find_if(known.begin(), known.end(), [&](const std::string& p) {
      return !p.empty() && rest.starts_with(p);
    });
    if (whole != known.end()) {
      from = at + whole->size();
      continue;
    }
    const std::size_t nameStart = at + lead.size();
    const std::size_t end = FindAtCharacterStart(templateText, tail, count, nameStart, table);
    if (end == std::string_view::npos) break;
    const std::string_view name = templateText.substr(nameStart, end - nameStart);
    if (name.empty() || IsDigitsOnly(name) || name.find(lead) != std::string_view::npos ||
        name.find_first_of("\r\n") != std::string_view::npos) {
      from = at + 1;
      continue;
    }
    std::string shaped(templateText.substr(at, end + tail.size() - at));
    if (std::find(unknown.begin(), unknown.end(), shaped) == unknown.end()) {
      unknown.push_back(std::move(shaped));
    }
    count = CountAfreshFrom(templateText, count, end, table);
    from = end + tail.size();
  }
  return unknown;
}

}  // namespace velmora
