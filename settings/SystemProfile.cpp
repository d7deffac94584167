#include <utility>

#include "platform/win32/Win32Platform.h"
#include "settings/Profile.h"

namespace velmora {

namespace {

// GetPrivateProfileStringA and GetPrivateProfileIntA: the system reads the file for each key.
class SystemProfileReader : public ProfileReader {
 public:
  explicit SystemProfileReader(std::string path) : path_(std::move(path)) {}
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& defaultValue) override {
    return platform::SystemProfileGetString(path_, section, key, defaultValue, kProfileBufferSize);
  }
  std::int32_t GetInt(const std::string& section, const std::string& key,
                      std::int32_t defaultValue) override {
    return platform::SystemProfileGetInt(path_, section, key, defaultValue);
  }

 private:
  std::string path_;
};

// The readers above, and WritePrivateProfileStringA.
class SystemProfile : public Profile {
 public:
  std::unique_ptr<ProfileReader> Read(const std::string& path) override {
    return std::make_unique<SystemProfileReader>(path);
  }
  platform::Status WriteStrings(const std::string& path,
                                const std::vector<ProfileEntry>& entries) override {
    // Each write is a separate update of the file; a failed one does not stop the others.
    platform::Status first;
    for (const ProfileEntry& entry : entries) {
      const platform::Status written =
          platform::SystemProfileWriteString(path, entry.section, entry.key, entry.value);
      if (first.ok()) first = written;
    }
    return first;
  }
};

}  // namespace

bool HasSystemProfile() { return true; }

std::unique_ptr<Profile> MakeSystemProfile() { return std::make_unique<SystemProfile>(); }

}  // namespace velmora
