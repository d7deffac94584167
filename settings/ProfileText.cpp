#include "settings/ProfileText.h"

namespace velmora {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
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

}  // namespace

ProfileText::Line ProfileText::Parse(std::string text, std::string ending) {
  Line line;
  std::string_view body = Trim(text);
  if (!body.empty() && body.front() == '[') {
    std::size_t close = body.find(']');
    line.kind = Kind::Section;
    line.name = std::string(Trim(body.substr(1, close == std::string_view::npos ? std::string_view::npos
                                                                                   : close - 1)));
  } else if (!body.empty() && body.front() != ';') {
    std::size_t equals = body.find('=');
    if (equals != std::string_view::npos) {
      line.kind = Kind::Key;
      line.name = std::string(Trim(body.substr(0, equals)));
      line.value = std::string(Trim(body.substr(equals + 1)));
    }
  }
  line.text = std::move(text);
  line.ending = std::move(ending);
  return line;
}

ProfileText::ProfileText(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    bom_ = std::string(bytes.substr(0, 3));
    bytes.remove_prefix(3);
  }
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines_.push_back(Parse(std::string(bytes.substr(start)), ""));
      break;
    }
    std::size_t next = end + 1;
    if (bytes[end] == '\r' && next < bytes.size() && bytes[next] == '\n') ++next;
    lines_.push_back(
        Parse(std::string(bytes.substr(start, end - start)), std::string(bytes.substr(end, next - end))));
    start = next;
  }
}

std::size_t ProfileText::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::Section && SameName(lines_[i].name, section)) return i;
  }
  return lines_.size();
}

std::optional<std::string> ProfileText::Find(std::string_view section,
                                             std::string_view key) const {
  for (std::size_t i = FindSection(section) + 1; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == Kind::Section) break;
    if (line.kind == Kind::Key && SameName(line.name, key)) {
      std::string_view value = line.value;
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      return std::string(value);
    }
  }
  return std::nullopt;
}

void ProfileText::Set(std::string_view section, std::string_view key, std::string_view value) {
  value = value.substr(0, value.find_first_of("\r\n"));
  auto makeKey = [&](std::string_view name) {
    std::string text(name);
    text.push_back('=');
    text.append(value);
    return Parse(std::move(text), "\r\n");
  };
  std::size_t sectionLine = FindSection(section);
  if (sectionLine == lines_.size()) {
    if (!lines_.empty() && lines_.back().ending.empty()) lines_.back().ending = "\r\n";
    std::string header(1, '[');
    header.append(section);
    header.push_back(']');
    lines_.push_back(Parse(std::move(header), "\r\n"));
    lines_.push_back(makeKey(key));
    return;
  }
  std::size_t lastEntry = sectionLine;  // the header or the section's last key
  for (std::size_t i = sectionLine + 1; i < lines_.size(); ++i) {
    Line& line = lines_[i];
    if (line.kind == Kind::Section) break;
    if (line.kind != Kind::Key) continue;
    if (SameName(line.name, key)) {
      std::string ending = line.ending;
      line = makeKey(line.name);
      line.ending = ending;
      return;
    }
    lastEntry = i;
  }
  if (lines_[lastEntry].ending.empty()) lines_[lastEntry].ending = "\r\n";
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastEntry) + 1, makeKey(key));
}

std::string ProfileText::Bytes() const {
  std::string out = bom_;
  for (const Line& line : lines_) {
    out.append(line.text);
    out.append(line.ending);
  }
  return out;
}

std::int32_t ProfileNumber(std::string_view value) {
  value = Trim(value);
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

}  // namespace velmora
