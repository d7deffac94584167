#include "settings/Profile.h"

namespace velmora {

bool HasSystemProfile() { return false; }

std::unique_ptr<Profile> MakeSystemProfile() { return MakePortableProfile(); }

}  // namespace velmora
