#include "settings/ProfileText.h"

#include "settings/Profile.h"

namespace velmora {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kNewLineEnd = "\r\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string KeyLine(std::string_view name, std::string_view value) {
  std::string text(name);
  text.push_back('=');
  text.append(value);
  return text;
}

}  // namespace

ProfileLine ParseProfileLine(std::string_view text) {
  ProfileLine line;
  line.text = TrimProfileBlanks(text);
  const std::string_view body = line.text;
  if (body.empty() || body.front() == ';') return line;
  if (body.front() == '[') {
    const std::size_t close = body.find(']');
    line.kind = ProfileLineKind::Section;
    const std::size_t length = close == std::string_view::npos ? std::string_view::npos : close - 1;
    line.name = TrimProfileBlanks(body.substr(1, length));
    return line;
  }
  const std::size_t equals = body.find('=');
  if (equals == std::string_view::npos) {
    line.kind = ProfileLineKind::Other;
    return line;
  }
  line.kind = ProfileLineKind::Key;
  line.name = TrimProfileBlanks(body.substr(0, equals));
  line.value = TrimProfileBlanks(body.substr(equals + 1));
  return line;
}

std::string_view UnquotedProfileValue(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

std::optional<std::string> StoredProfileValue(std::string_view value, std::string& reason) {
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    reason = "a settings file cannot hold a line break or NUL in a value";
    return std::nullopt;
  }
  const bool blankEnds = !value.empty() && (IsBlank(value.front()) ||
                                            IsBlank(value.back()));
  // Reading takes one pair of matching quotes off: a value so enclosed gets a pair of its own.
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  std::string stored(value);
  if (blankEnds || quoted) stored = '"' + stored + '"';
  if (stored.size() >= kProfileBufferSize) {
    reason = "a settings file gives back at most " + std::to_string(kProfileBufferSize - 1) +
             " bytes of a value";
    return std::nullopt;
  }
  return stored;
}

std::size_t ProfileTextStart(std::string_view text) {
  return text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
}

ProfileLineEnd FindProfileLineEnd(std::string_view text, std::size_t position) {
  const std::size_t at = text.find_first_of(kNewLineEnd, position);
  if (at == std::string_view::npos) return {text.size(), text.size()};
  std::size_t next = at + 1;
  if (text[at] == '\r' && next < text.size() && text[next] == '\n') ++next;
  return {at, next};
}

namespace {

// Whether a line is one that the editor keeps track of: a section or a key.
bool IsEntry(ProfileLineKind kind) {
  return kind == ProfileLineKind::Section || kind == ProfileLineKind::Key;
}

}  // namespace

ProfileText::ProfileText(std::string bytes) : bytes_(std::move(bytes)) {
  const std::string_view text = bytes_;
  std::size_t start = ProfileTextStart(text);
  while (start < text.size()) {
    const ProfileLineEnd end = FindProfileLineEnd(text, start);
    const ProfileLineKind kind = ParseProfileLine(text.substr(start, end.at - start)).kind;
    if (IsEntry(kind)) {
      lines_.push_back(start);
      isSection_.push_back(kind == ProfileLineKind::Section);
    }
    start = end.next;
  }
}

std::string_view ProfileText::LineAt(std::size_t begin) const {
  const std::string_view text = bytes_;
  return text.substr(begin, FindProfileLineEnd(text, begin).at - begin);
}

std::size_t ProfileText::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (isSection_[i] && SameProfileName(ParseProfileLine(LineAt(lines_[i])).name, section)) return i;
  }
  return lines_.size();
}

std::optional<std::string> ProfileText::Find(std::string_view section,
                                             std::string_view key) const {
  for (std::size_t i = FindSection(section) + 1; i < lines_.size() && !isSection_[i]; ++i) {
    const ProfileLine line = ParseProfileLine(LineAt(lines_[i]));
    if (SameProfileName(line.name, key)) return std::string(UnquotedProfileValue(line.value));
  }
  return std::nullopt;
}

void ProfileText::ReplaceLine(std::size_t index, std::string_view text) {
  const std::size_t begin = lines_[index];
  const std::size_t length = LineAt(begin).size();
  bytes_.replace(begin, length, text);
  // A key line stays a key line: its name neither starts with "[" or ";" nor is it blank.
  for (std::size_t i = index + 1; i < lines_.size(); ++i) lines_[i] = lines_[i] - length + text.size();
}

void ProfileText::InsertLine(std::size_t position, std::size_t index, std::string_view text) {
  bytes_.insert(position, text);
  bytes_.insert(position + text.size(), kNewLineEnd);
  const std::size_t added = text.size() + kNewLineEnd.size();
  for (std::size_t i = index; i < lines_.size(); ++i) lines_[i] += added;
  // A name of the caller's may make the line a comment or a section of its own, as it would when
  // the file is read again.
  const ProfileLineKind kind = ParseProfileLine(text).kind;
  if (IsEntry(kind)) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), position);
    isSection_.insert(isSection_.begin() + static_cast<std::ptrdiff_t>(index),
                      kind == ProfileLineKind::Section);
  }
}

void ProfileText::Set(std::string_view section, std::string_view key, std::string_view value) {
  value = value.substr(0, value.find_first_of(kNewLineEnd));
  const std::size_t sectionLine = FindSection(section);
  if (sectionLine == lines_.size()) {
    // The last line gets a line end before a line is put behind it.
    const std::string_view text = bytes_;
    const std::size_t bodyStart = ProfileTextStart(text);
    if (text.size() > bodyStart && text.back() != '\r' && text.back() != '\n') {
      bytes_.append(kNewLineEnd);
    }
    std::string header(1, '[');
    header.append(section);
    header.push_back(']');
    InsertLine(bytes_.size(), lines_.size(), header);
    InsertLine(bytes_.size(), lines_.size(), KeyLine(key, value));
    return;
  }
  std::size_t lastEntry = sectionLine;  // the header or the section's last key
  for (std::size_t i = sectionLine + 1; i < lines_.size() && !isSection_[i]; ++i) {
    const ProfileLine line = ParseProfileLine(LineAt(lines_[i]));
    if (SameProfileName(line.name, key)) {
      ReplaceLine(i, KeyLine(line.name, value));
      return;
    }
    lastEntry = i;
  }
  const ProfileLineEnd end = FindProfileLineEnd(bytes_, lines_[lastEntry]);
  std::size_t position = end.next;
  if (end.at == bytes_.size()) {
    bytes_.append(kNewLineEnd);
    position = bytes_.size();
  }
  InsertLine(position, lastEntry + 1, KeyLine(key, value));
}

std::int32_t ReadLeadingNumberAsProfileDoes(std::string_view value) {
  value = TrimProfileBlanks(value);
  bool negative = false;
  if (!value.empty() && (value.front() == '-' || value.front() == '+')) {
    negative = value.front() == '-';
    value.remove_prefix(1);
  }
  std::uint32_t number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') break;
    number = number * 10u + static_cast<std::uint32_t>(c - '0');
  }
  if (negative) number = 0u - number;
  return static_cast<std::int32_t>(number);
}

std::string_view TrimProfileBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameProfileName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace velmora
