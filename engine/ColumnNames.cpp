#include "engine/ColumnNames.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "engine/Placeholder.h"

namespace velmora {

namespace {

// The naming columns by name. Views into columns.names, which must outlive it.
std::unordered_map<std::string_view, std::size_t> ColumnsByName(const ColumnNames& columns) {
  std::unordered_map<std::string_view, std::size_t> byName;
  byName.reserve(columns.names.size());
  for (std::size_t i = 0; i < columns.naming.size(); ++i) {
    if (columns.naming[i]) byName.emplace(columns.names[i], i);
  }
  return byName;
}

}  // namespace

ColumnNames ReadColumnNames(const FieldList& header) {
  ColumnNames columns;
  columns.names = header;
  columns.naming.assign(header.size(), 0);
  std::unordered_map<std::string_view, std::size_t> seen;
  seen.reserve(header.size());
  for (std::size_t i = 0; i < header.size(); ++i) {
    const std::string& name = columns.names[i];
    if (name.empty()) {
      columns.unnamed.push_back({i, Unnamed::Empty, 0});
    } else if (IsDigitsOnly(name)) {
      columns.unnamed.push_back({i, Unnamed::Digits, 0});
    } else if (name.front() == '#') {
      columns.unnamed.push_back({i, Unnamed::Own, 0});
    } else if (const auto [earlier, added] = seen.emplace(name, i); !added) {
      columns.unnamed.push_back({i, Unnamed::Repeat, earlier->second});
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
  const std::unordered_map<std::string_view, std::size_t> known = ColumnsByName(columns);
  std::size_t longest = 0;
  for (const auto& [name, field] : known) longest = std::max(longest, name.size());
  std::size_t count = 0;  // characters are counted afresh from here (CountAfreshFrom)
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = FindAtCharacterStart(templateText, lead, count, from, table);
    if (at == std::string_view::npos) break;
    count = CountAfreshFrom(templateText, count, at, table);
    // A column's own placeholder may hold the tail inside its name: it is taken whole (the
    // first column's, when several fit).
    const std::size_t nameStart = at + lead.size();
    std::optional<std::size_t> whole;
    std::size_t wholeEnd = 0;
    for (std::size_t e = templateText.find(tail, nameStart);
         e != std::string_view::npos && e - nameStart <= longest;
         e = templateText.find(tail, e + 1)) {
      const auto column = known.find(templateText.substr(nameStart, e - nameStart));
      if (column != known.end() && (!whole || column->second < *whole)) {
        whole = column->second;
        wholeEnd = e + tail.size();
      }
    }
    if (whole) {
      from = wholeEnd;
      continue;
    }
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

std::vector<std::string> FirstRecordNames(const std::vector<std::string>& placeholders,
                                          const FieldList& fields, std::string_view lead,
                                          std::string_view tail) {
  std::vector<std::string> held;
  const std::unordered_set<std::string_view> texts(fields.begin(), fields.end());
  for (const std::string& placeholder : placeholders) {
    const std::string_view name = std::string_view(placeholder).substr(
        lead.size(), placeholder.size() - lead.size() - tail.size());
    if (texts.contains(name)) held.push_back(placeholder);
  }
  return held;
}

}  // namespace velmora
