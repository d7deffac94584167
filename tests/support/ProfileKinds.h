// The two profile implementations that the settings tests run against alike: the portable one
// everywhere, and the system's own private-profile functions where the system has them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "platform/Platform.h"
#include "settings/Profile.h"

namespace velmora::test {

struct ProfileKind {
  const char* name;
  bool system;  // GetPrivateProfileStringA and friends rather than the portable implementation

  std::unique_ptr<Profile> Make() const {
    return system ? MakeSystemProfile() : MakePortableProfile();
  }
};

inline void PrintTo(const ProfileKind& kind, std::ostream* out) { *out << kind.name; }

// A test over each kind. The system's kind is skipped where the system has no profile functions;
// a fixture's own SetUp calls this one first and returns when IsSkipped().
class ProfileKindTest : public ::testing::TestWithParam<ProfileKind> {
 protected:
  void SetUp() override {
    if (GetParam().system && !HasSystemProfile()) {
      GTEST_SKIP() << "this system has no private-profile functions of its own";
    }
  }
  std::unique_ptr<Profile> MakeProfile() const { return GetParam().Make(); }
};

// The parameters and their names for INSTANTIATE_TEST_SUITE_P(Profiles, Fixture,
// ProfileKinds(), ProfileKindName): ".../Portable" and ".../System".
inline auto ProfileKinds() {
  return ::testing::Values(ProfileKind{"Portable", false}, ProfileKind{"System", true});
}

inline std::string ProfileKindName(const ::testing::TestParamInfo<ProfileKind>& info) {
  return info.param.name;
}

}  // namespace velmora::test
