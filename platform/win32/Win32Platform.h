// What only Windows has, for the parts of the program that are built for Windows alone (the
// settings' system profile, the window): the system's private-profile functions, its message
// texts and its read-only mark. Portable code includes Platform.h only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace velmora::platform {

// ---- Paths as the system's file functions take them --------------------------------------------

// A path in the run's code page as the system's file functions take it. An ...A function reads a
// name's bytes in the system's ANSI code page (GetACP: "by default, file I/O functions use ANSI
// file names", and the program never calls SetFileApisToOEM), so when the run's code page is
// another, those bytes would name another file ("\xe3\x82\x8a" in UTF-8 is three characters in
// code page 932): the path then goes, decoded from the run's code page, to the ...W function. When
// the two code pages are the same, the bytes go to the ...A function as they are, whatever they
// hold.
class SystemPath {
 public:
  // The path in ProcessCodePage() for a system whose code page is GetACP().
  explicit SystemPath(std::string_view path);
  SystemPath(std::string_view path, unsigned runCodePage, unsigned systemCodePage);

  // False when the path goes wide and its bytes are no text of the run's code page (a lone lead
  // byte, broken UTF-8): such a path names no file, and the calls below fail with
  // ERROR_NO_UNICODE_TRANSLATION rather than reach another name.
  bool Valid() const noexcept { return valid_; }
  // Whether the path goes to the ...W functions.
  bool Wide() const noexcept { return wide_; }
  const char* Ansi() const noexcept { return ansi_.c_str(); }
  const wchar_t* WideText() const noexcept { return wideText_.c_str(); }

 private:
  bool valid_ = true;
  bool wide_ = false;
  std::string ansi_;
  std::wstring wideText_;
};

// Converts text from the system's UTF-16 into codePage: nothing when a character has no bytes
// there (never a "?" or a look-alike, which would name another file) or the text is no valid
// UTF-16.
std::optional<std::string> WideToCodePage(unsigned codePage, std::wstring_view wide);

// ---- Private-profile files of the system --------------------------------------------------------

// The system reads the file's path, like the file's text, in its own code page: a path in the
// run's code page is converted to that code page for these calls, or given by its short (8.3)
// name when the system's code page lacks one of its characters. A path that cannot be spelled
// either way names no file there: reads give the defaults and writes fail with
// ERROR_NO_UNICODE_TRANSLATION.
//
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
