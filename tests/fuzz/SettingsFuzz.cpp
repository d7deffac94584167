// The portable settings reader and writer on any file: loading never faults and never gives a text
// longer than the reader's buffer; an untouched file keeps every byte; saving any record over any
// file and loading it again gives back every value that the format can hold; saving twice gives
// the same bytes.

#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/Platform.h"
#include "settings/ProfileText.h"
#include "settings/SettingsStore.h"
#include "tests/fuzz/Reference.h"

using namespace velmora;

namespace {

const std::string& SettingsPath() {
  static const std::string path = [] {
    std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    folder += "/velmora-settings-fuzz-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) reference::Fail("no scratch folder");
    static const std::string made = folder;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    });
    return folder + "/velmora.ini";
  }();
  return path;
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) reference::Fail("cannot write the scratch file");
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// What a text reads back as: one line, blanks around it dropped, one pair of matching quotes taken
// off, at most 4095 bytes.
std::string ReadBack(std::string_view text) {
  text = text.substr(0, text.find_first_of("\r\n"));
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    text = text.substr(1, text.size() - 2);
  }
  return std::string(text.substr(0, kProfileBufferSize - 1));
}

std::string Text(FuzzedDataProvider& provider) { return provider.ConsumeRandomLengthString(64); }

// Now and then a text beyond the reader's buffer.
std::string LongText(FuzzedDataProvider& provider) {
  std::string text = Text(provider);
  if (provider.ConsumeIntegralInRange<int>(0, 7) == 0) {
    const std::string piece = text.empty() ? std::string("x") : text;
    while (text.size() < kProfileBufferSize + 8) text += piece;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const std::string existing = provider.ConsumeRandomLengthString(1024);
  GeneratorSettings s;
  s.Input = LongText(provider);
  s.Output = Text(provider);
  s.Template = Text(provider);
  s.ReplaceLead = Text(provider);
  s.ReplaceTail = Text(provider);
  s.ReplaceDefault = Text(provider);
  s.ReplaceFormat = provider.ConsumeIntegral<std::int32_t>();
  s.RuleLead = Text(provider);
  s.RuleTail = Text(provider);
  s.Rule = provider.ConsumeIntegral<std::int32_t>();
  s.RuleNumber = provider.ConsumeIntegral<std::uint32_t>();
  s.FieldSeparator = provider.ConsumeIntegral<std::int32_t>();
  s.FieldBreak = provider.ConsumeIntegral<std::int32_t>();

  reference::Check(ProfileText(existing).Bytes() == existing, "an untouched file changed");

  const std::string& path = SettingsPath();
  auto profile = MakePortableProfile();
  WriteFile(path, existing);
  GeneratorSettings loaded;
  LoadSettings(loaded, path, *profile);
  for (const std::string* text : {&loaded.Input, &loaded.Output, &loaded.Template,
                                  &loaded.ReplaceLead, &loaded.ReplaceTail, &loaded.ReplaceDefault,
                                  &loaded.RuleLead, &loaded.RuleTail}) {
    reference::Check(text->size() < kProfileBufferSize, "a text longer than the buffer");
    reference::Check(text->find_first_of("\r\n") == std::string::npos, "a text with a line end");
  }

  reference::Check(SaveSettings(s, path, *profile).ok(), "the record cannot be saved");
  const platform::Result<std::string> savedFile = platform::ReadWholeFile(path);
  reference::Check(savedFile.ok(), "the saved file cannot be read");
  const std::string saved = savedFile.ok() ? *savedFile : std::string();
  LoadSettings(loaded, path, *profile);
  GeneratorSettings expected = s;
  for (std::string* text : {&expected.Input, &expected.Output, &expected.Template,
                            &expected.ReplaceLead, &expected.ReplaceTail, &expected.ReplaceDefault,
                            &expected.RuleLead, &expected.RuleTail}) {
    *text = ReadBack(*text);
  }
  reference::Check(loaded == expected, "a saved record does not read back");

  reference::Check(SaveSettings(s, path, *profile).ok(), "the record cannot be saved again");
  const platform::Result<std::string> again = platform::ReadWholeFile(path);
  reference::Check(again.ok() && *again == saved,
                   "saving the same record twice gives different files");
  return 0;
}
