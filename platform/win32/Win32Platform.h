// What only Windows has, for the parts of the program that are built for Windows alone (the
// settings' system profile, the window): the system's private-profile functions, its message
// texts and its read-only mark. Portable code includes Platform.h only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Result.h"

namespace velmora::platform {

// ---- Private-profile files of the system --------------------------------------------------------

// GetPrivateProfileStringA with a buffer of bufferSize bytes.
std::string SystemProfileGetString(const std::string& path, const std::string& section,
                                   const std::string& key, const std::string& defaultValue,
                                   std::size_t bufferSize);
// GetPrivateProfileIntA.
std::int32_t SystemProfileGetInt(const std::string& path, const std::string& section,
                                 const std::string& key, std::int32_t defaultValue);
// WritePrivateProfileStringA. A file marked read-only is never written, even where the system
// would let this user (fails with kErrorReadOnly); otherwise fails with the system's code.
Status SystemProfileWriteString(const std::string& path, const std::string& section,
                                const std::string& key, const std::string& value);

// ---- Texts and marks of the system --------------------------------------------------------------

// FormatMessageA's text for a system error code in the given language (a LANGID; 0 lets the
// system choose, the user's language first), as the system gives it, line end included; "" when
// the system has no text for it in that language.
std::string FormatSystemMessage(ErrorCode code, std::uint32_t languageId);

// Whether file attributes carry FILE_ATTRIBUTE_READONLY. The program never writes such a file,
// even where the system would let this user (Wine run by root shows the mark but does not enforce
// it): every check of the mark goes through here.
bool MarkedReadOnly(std::uint32_t attributes);
// The same for the file at path; false when it is missing or has no attributes to tell.
bool MarkedReadOnly(const std::string& path);

}  // namespace velmora::platform
