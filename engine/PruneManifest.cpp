#include "engine/PruneManifest.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "engine/OutputPath.h"
#include "engine/PathSyntax.h"

namespace velmora {

namespace {

// The first line of every list; another first line is a file of something else.
constexpr std::string_view kSignature = "velmora-files 1\n";

// A name goes into its line with "%", control bytes and DEL as "%XX", so that any name fits one
// line and no line end or blank at its end is lost.
bool Escaped(unsigned char byte) { return byte < 0x20 || byte == 0x7F || byte == '%'; }

void AppendEscaped(std::string& text, std::string_view name) {
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (!Escaped(byte)) {
      text.push_back(c);
      continue;
    }
    char hex[4];
    std::snprintf(hex, sizeof hex, "%%%02X", byte);
    text.append(hex);
  }
}

std::optional<std::string> Unescaped(std::string_view text) {
  std::string name;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte != '%') {
      if (Escaped(byte)) return std::nullopt;
      name.push_back(text[i]);
      continue;
    }
    unsigned value = 0;
    if (i + 3 > text.size() ||
        std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr !=
            text.data() + i + 3 ||
        !Escaped(static_cast<unsigned char>(value))) {
      return std::nullopt;
    }
    name.push_back(static_cast<char>(value));
    i += 2;
  }
  return name;
}

// The next field of a line up to a blank, taken off the line.
std::string_view TakeField(std::string_view& line) {
  const std::size_t blank = std::min(line.find(' '), line.size());
  const std::string_view field = line.substr(0, blank);
  line.remove_prefix(std::min(blank + 1, line.size()));
  return field;
}

template <typename Number>
bool ReadNumber(std::string_view field, Number& value, int base) {
  return !field.empty() &&
         std::from_chars(field.data(), field.data() + field.size(), value, base).ptr ==
             field.data() + field.size();
}

}  // namespace

std::string WrittenFiles::ListName(std::string_view name) const {
  std::string joined;
  ForEachPathComponent(name, rules_, table_, [&](std::string_view component, bool separated) {
    joined.append(component);
    if (separated) joined.push_back('/');
    return true;
  });
  return joined;
}

void WrittenFiles::Add(ManifestEntry entry) {
  const std::string key = OutputFileKey(entry.name, rules_, table_);
  MutexLock lock(mutex_);
  // Every folder on the way holds something of this run.
  for (std::size_t slash = key.find('/'); slash != std::string::npos;
       slash = key.find('/', slash + 1)) {
    parents_.emplace(key.substr(0, slash), true);
  }
  entries_.insert_or_assign(key, std::move(entry));
}

void WrittenFiles::AddFile(std::string_view name, std::uint64_t size, std::uint64_t hash) {
  Add(ManifestEntry{ListName(name), false, size, hash});
}

void WrittenFiles::AddFolder(std::string_view name) {
  Add(ManifestEntry{ListName(name), true, 0, 0});
}

bool WrittenFiles::Holds(std::string_view name) const {
  const std::string key = OutputFileKey(name, rules_, table_);
  MutexLock lock(mutex_);
  return entries_.contains(key) || parents_.contains(key);
}

std::vector<ManifestEntry> WrittenFiles::Entries() const {
  std::vector<ManifestEntry> entries;
  {
    MutexLock lock(mutex_);
    for (const auto& [key, entry] : entries_) entries.push_back(entry);
  }
  std::sort(entries.begin(), entries.end(),
            [](const ManifestEntry& a, const ManifestEntry& b) { return a.name < b.name; });
  return entries;
}

std::string ManifestText(const std::vector<ManifestEntry>& entries) {
  std::string text(kSignature);
  for (const ManifestEntry& entry : entries) {
    if (entry.folder) {
      text.append("D ");
    } else {
      char numbers[48];
      std::snprintf(numbers, sizeof numbers, "F %llu %016llx ",
                    static_cast<unsigned long long>(entry.size),
                    static_cast<unsigned long long>(entry.hash));
      text.append(numbers);
    }
    AppendEscaped(text, entry.name);
    text.push_back('\n');
  }
  return text;
}

std::optional<std::vector<ManifestEntry>> ParseManifest(std::string_view text,
                                                        const platform::PathRules& rules,
                                                        const CodePageTable& table) {
  if (!text.starts_with(kSignature) || !text.ends_with('\n')) return std::nullopt;
  text.remove_prefix(kSignature.size());
  std::vector<ManifestEntry> entries;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    ManifestEntry entry;
    const std::string_view kind = TakeField(line);
    entry.folder = kind == "D";
    if (!entry.folder && (kind != "F" || !ReadNumber(TakeField(line), entry.size, 10) ||
                          !ReadNumber(TakeField(line), entry.hash, 16))) {
      return std::nullopt;
    }
    std::optional<std::string> name = Unescaped(line);
    // Only a name that a run could have written inside the output folder, and in the form that
    // the list gives names.
    if (!name || !IsSafeOutputName(*name, rules, table) || name->find('\0') != std::string::npos ||
        WrittenFiles(rules, table).ListName(*name) != *name ||
        !ForEachPathComponent(*name, rules, table, [](std::string_view component, bool) {
          return !component.empty() && component != ".";
        })) {
      return std::nullopt;
    }
    entry.name = std::move(*name);
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace velmora
