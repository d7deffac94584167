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
    return ProfileNumber(*value);
  }

 private:
  ProfileText text_;
};

class PortableProfile : public Profile {
 public:
  std::unique_ptr<ProfileReader> Read(const std::string& path) override {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes)) bytes.clear();
    return std::make_unique<PortableProfileReader>(std::move(bytes));
  }

  void WriteStrings(const std::string& path, const std::vector<ProfileEntry>& entries) override {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes)) {
      // A file that is there but cannot be read is left alone: a file made from nothing would
      // lose every other line of it.
      std::error_code error;
      if (std::filesystem::exists(std::filesystem::path(path), error) || error) return;
      bytes.clear();
    }
    ProfileText text(std::move(bytes));
    for (const ProfileEntry& entry : entries) text.Set(entry.section, entry.key, entry.value);
    platform::ReplaceFileContents(path, text.Bytes());
  }
};

class TextProfile : public Profile {
 public:
  explicit TextProfile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::unique_ptr<ProfileReader> Read(const std::string&) override {
    return std::make_unique<PortableProfileReader>(bytes_);
  }
  void WriteStrings(const std::string&, const std::vector<ProfileEntry>&) override {}

 private:
  std::string bytes_;
};

}  // namespace

std::unique_ptr<Profile> MakePortableProfile() { return std::make_unique<PortableProfile>(); }

std::unique_ptr<Profile> MakeTextProfile(std::string bytes) {
  return std::make_unique<TextProfile>(std::move(bytes));
}

}  // namespace velmora
