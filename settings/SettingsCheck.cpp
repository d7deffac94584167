#include "settings/SettingsCheck.h"

#include <cstdint>
#include <optional>

#include "settings/Profile.h"
#include "settings/ProfileText.h"
#include "settings/SettingsKeys.h"

namespace velmora {

namespace {

// The value as reading returns it: one pair of matching quotes taken off.
std::string_view Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// Whether value is, as a whole, a decimal number that fits a signed 32-bit integer.
bool IsWholeNumber(std::string_view value) {
  if (!value.empty() && (value.front() == '-' || value.front() == '+')) value.remove_prefix(1);
  if (value.empty() || value.size() > 10) return false;
  std::int64_t number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  return number <= 2147483648LL;
}

}  // namespace

std::vector<SettingsFinding> CheckSettingsText(std::string_view bytes) {
  std::vector<SettingsFinding> findings;
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  std::vector<std::string> seenSections;
  std::vector<const SettingsKey*> seenKeys;
  std::string section;       // the current section's name
  bool knownSection = false;
  bool firstOfName = false;  // the current section is the first of its name, which reading takes
  std::size_t lineNumber = 0;
  std::size_t start = 0;
  while (start < bytes.size()) {
    ++lineNumber;
    std::size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = TrimProfileBlanks(bytes.substr(start, end - start));
    start = end + 1;
    if (end < bytes.size() && bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n') {
      ++start;
    }
    auto note = [&](std::string text) { findings.push_back({lineNumber, std::move(text)}); };
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::size_t length = close == std::string_view::npos ? line.npos : close - 1;
      section = std::string(TrimProfileBlanks(line.substr(1, length)));
      knownSection = false;
      for (const SettingsKey& known : kSettingsKeys) {
        knownSection |= SameProfileName(known.section, section);
      }
      firstOfName = true;
      for (const std::string& seen : seenSections) firstOfName &= !SameProfileName(seen, section);
      seenSections.push_back(section);
      if (!knownSection) {
        note("the section [" + section + "] is no section of the program; it is ignored");
      } else if (!firstOfName) {
        note("the section [" + section + "] comes again; only its first one is read");
      }
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      note("'" + std::string(line) + "' is no section, key or comment; it is ignored");
      continue;
    }
    if (!knownSection) continue;  // said once, for its section
    const std::string_view name = TrimProfileBlanks(line.substr(0, equals));
    const std::string_view value = Unquoted(TrimProfileBlanks(line.substr(equals + 1)));
    const std::string given = "[" + section + "] " + std::string(line);
    const SettingsKey* key = nullptr;
    for (const SettingsKey& known : kSettingsKeys) {
      if (SameProfileName(known.section, section) && SameProfileName(known.key, name)) key = &known;
    }
    if (key == nullptr) {
      note(given + ": the key is no key of the section; it is ignored");
      continue;
    }
    bool repeated = !firstOfName;
    for (const SettingsKey* seen : seenKeys) repeated |= seen == key;
    if (repeated) {
      if (firstOfName) {
        note(given + ": the key comes again in its section; only its first value is read");
      }
      continue;
    }
    seenKeys.push_back(key);
    if (HoldsText(*key)) {
      if (value.size() >= kProfileBufferSize) {
        note(given.substr(0, 80) + "...: the value has " + std::to_string(value.size()) +
             " bytes; its first " + std::to_string(kProfileBufferSize - 1) + " are used");
      }
      continue;
    }
    const std::int32_t read = ProfileNumber(value);
    const std::int64_t number = HoldsUnsigned(*key)
                                    ? static_cast<std::int64_t>(static_cast<std::uint32_t>(read))
                                    : read;
    const std::string used = std::to_string(number);
    if (!IsWholeNumber(value)) {
      note(given + ": '" + std::string(value) + "' is no number; " + used + " is used");
    } else if (number < key->offeredMin || number > key->offeredMax) {
      note(given + ": the window offers " + std::to_string(key->offeredMin) + " to " +
           std::to_string(key->offeredMax) + "; " + used + " is used as it stands");
    }
  }
  return findings;
}

}  // namespace velmora
