#include "platform/Platform.h"
#include "settings/Profile.h"

namespace velmora {

namespace {

// GetPrivateProfileStringA, GetPrivateProfileIntA and WritePrivateProfileStringA.
class SystemProfile : public Profile {
 public:
  std::string GetString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& defaultValue) override {
    return platform::SystemProfileGetString(path, section, key, defaultValue, kProfileBufferSize);
  }
  std::int32_t GetInt(const std::string& path, const std::string& section, const std::string& key,
                      std::int32_t defaultValue) override {
    return platform::SystemProfileGetInt(path, section, key, defaultValue);
  }
  void WriteStrings(const std::string& path, const std::vector<ProfileEntry>& entries) override {
    // Each write is a separate update of the file; results are not examined.
    for (const ProfileEntry& entry : entries) {
      platform::SystemProfileWriteString(path, entry.section, entry.key, entry.value);
    }
  }
};

}  // namespace

bool HasSystemProfile() { return true; }

std::unique_ptr<Profile> MakeSystemProfile() { return std::make_unique<SystemProfile>(); }

}  // namespace velmora
