// Access to private-profile ("INI") files: the system's own functions on Windows, a portable
// implementation of the same rules elsewhere.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Result.h"

namespace velmora {

// Text values come back through a buffer of this many bytes, the terminating NUL included.
inline constexpr std::size_t kProfileBufferSize = 4096;

struct ProfileEntry {
  std::string section;
  std::string key;
  std::string value;
};

// The keys of one profile file, for reading.
class ProfileReader {
 public:
  virtual ~ProfileReader() = default;
  // The value of key in section, or defaultValue; at most kProfileBufferSize - 1 bytes.
  virtual std::string GetString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) = 0;
  // The value converted from its leading characters as a signed 32-bit number; defaultValue when
  // the key is missing or its value is empty.
  virtual std::int32_t GetInt(const std::string& section, const std::string& key,
                              std::int32_t defaultValue) = 0;
};

class Profile {
 public:
  virtual ~Profile() = default;
  // A reader of the file at path. The portable implementation reads and parses the file once,
  // here (a file that is missing or cannot be read has no keys); the system's asks the system
  // for each key.
  virtual std::unique_ptr<ProfileReader> Read(const std::string& path) = 0;
  // Writes the entries one after the other; a failed write does not stop the ones after it.
  // Fails with the first failure's error code (kErrorReadOnly for a file marked read-only).
  virtual platform::Status WriteStrings(const std::string& path,
                                        const std::vector<ProfileEntry>& entries) = 0;
};

// The portable implementation: reads with the system's rules (names without regard to case,
// blanks trimmed, one pair of matching quotes removed, 4095-byte values, leading-number
// conversion) and writes as the system does, keeping every other line (see
// platform::ReplaceFileContents for how the file is replaced).
std::unique_ptr<Profile> MakePortableProfile();

// The portable rules over bytes already read, for a file that must be read only once: Read gives
// those bytes whatever the path, and WriteStrings writes nothing.
std::unique_ptr<Profile> MakeTextProfile(std::string bytes);

// The system's private-profile functions where it has them (Windows), the portable implementation
// elsewhere. The build chooses: SystemProfile.cpp on Windows, NoSystemProfile.cpp elsewhere.
std::unique_ptr<Profile> MakeSystemProfile();

// Whether MakeSystemProfile gives the system's own functions rather than the portable ones.
bool HasSystemProfile();

}  // namespace velmora
