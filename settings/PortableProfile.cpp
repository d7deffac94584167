#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "settings/Profile.h"
#include "settings/ProfileText.h"

namespace velmora {

namespace {

// The file as read and parsed once; a file that cannot be read has no keys.
class PortableProfileReader : public ProfileReader {
 public:
  explicit PortableProfileReader(std::string bytes) : text_(std::move(bytes)) {}

  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& defaultValue) override {
    std::string result = text_.Find(section, key).value_or(defaultValue);
    if (result.size() > kProfileBufferSize - 1) result.resize(kProfileBufferSize - 1);
    return result;
  }

  std::int32_t GetInt(const std::string& section, const std::string& key,
                      std::int32_t defaultValue) override {
    const std::optional<std::string> value = text_.Find(section, key);
    if (!value || value->empty()) return defaultValue;
    return ReadLeadingNumberAsProfileDoes(*value);
  }

 private:
  ProfileText text_;
};

class PortableProfile : public Profile {
 public:
  std::unique_ptr<ProfileReader> Read(const std::string& path) override {
    platform::Result<std::string> bytes = platform::ReadWholeFile(path);
    return std::make_unique<PortableProfileReader>(bytes ? std::move(*bytes) : std::string());
  }

  platform::Status WriteStrings(const std::string& path,
                                const std::vector<ProfileEntry>& entries) override {
    platform::Result<std::string> bytes = platform::ReadWholeFile(path);
    if (!bytes) {
      // A file that is there but cannot be read is left alone: a file made from nothing would
      // lose every other line of it.
      std::error_code error;
      if (std::filesystem::exists(std::filesystem::path(path), error) || error) {
        return platform::Failure{bytes.error()};
      }
      bytes = std::string();
    }
    ProfileText text(std::move(*bytes));
    for (const ProfileEntry& entry : entries) text.Set(entry.section, entry.key, entry.value);
    return platform::ReplaceFileContents(path, text.Bytes());
  }
};

class TextProfile : public Profile {
 public:
  explicit TextProfile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::unique_ptr<ProfileReader> Read(const std::string&) override {
    return std::make_unique<PortableProfileReader>(bytes_);
  }
  platform::Status WriteStrings(const std::string&, const std::vector<ProfileEntry>&) override {
    return {};
  }

 private:
  std::string bytes_;
};

}  // namespace

std::unique_ptr<Profile> MakePortableProfile() { return std::make_unique<PortableProfile>(); }

std::unique_ptr<Profile> MakeTextProfile(std::string bytes) {
  return std::make_unique<TextProfile>(std::move(bytes));
}

}  // namespace velmora
