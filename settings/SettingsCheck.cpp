#include "settings/SettingsCheck.h"

#include <cstdint>
#include <optional>

#include "platform/DecimalText.h"
#include "settings/Profile.h"
#include "settings/ProfileText.h"
#include "settings/SettingsKeys.h"

namespace velmora {

namespace {

// Whether value is, as a whole, a decimal number that fits a signed 32-bit integer: an optional
// sign and at most ten digits, the most that such a number is written with.
bool IsWholeNumber(std::string_view value) {
  if (!value.empty() && (value.front() == '-' || value.front() == '+')) value.remove_prefix(1);
  return value.size() <= 10 && platform::ParseDecimal(value, 2147483648u).has_value();
}

}  // namespace

std::vector<SettingsFinding> CheckSettingsText(
    std::string_view bytes, const std::function<bool(std::string_view key)>& batchKey) {
  std::vector<SettingsFinding> findings;
  std::vector<std::string> seenSections;
  std::vector<const SettingsKey*> seenKeys;
  std::string section;       // the current section's name
  bool knownSection = false;
  bool batchSection = false;  // the batch command's: batchKey tells its keys
  bool firstOfName = false;  // the current section is the first of its name, which reading takes
  std::size_t lineNumber = 0;
  std::size_t start = ProfileTextStart(bytes);
  while (start < bytes.size()) {
    ++lineNumber;
    const ProfileLineEnd end = FindProfileLineEnd(bytes, start);
    const ProfileLine parsed = ParseProfileLine(bytes.substr(start, end.at - start));
    const std::string_view line = parsed.text;
    start = end.next;
    auto note = [&](std::string text) { findings.push_back({lineNumber, std::move(text)}); };
    if (parsed.kind == ProfileLineKind::Blank) continue;
    if (parsed.kind == ProfileLineKind::Section) {
      section = std::string(parsed.name);
      knownSection = false;
      for (const SettingsKey& known : kSettingsKeys) {
        knownSection |= SameProfileName(known.section, section);
      }
      batchSection = SameProfileName(kBatchSection, section);
      knownSection |= batchSection;
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
    if (parsed.kind == ProfileLineKind::Other) {
      note("'" + std::string(line) + "' is no section, key or comment; it is ignored");
      continue;
    }
    if (seenSections.empty()) {
      note("'" + std::string(line) + "' comes before any section; it is ignored");
      continue;
    }
    if (!knownSection) continue;  // said once, for its section
    const std::string_view name = parsed.name;
    const std::string_view value = UnquotedProfileValue(parsed.value);
    const std::string given = "[" + section + "] " + std::string(line);
    if (batchSection) {
      if (firstOfName && !batchKey(name)) {
        note(given + ": the key is no key of the section; it is ignored");
      }
      continue;
    }
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
    const std::int32_t read = ReadLeadingNumberAsProfileDoes(value);
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
