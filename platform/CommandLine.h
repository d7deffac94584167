// The program's command-line texts in the run's code page. The system hands them over in its own
// encoding (the ANSI code page on Windows, the locale's character set elsewhere); a run in another
// code page takes them converted, so that a name typed on the command line is the same text as in
// the run's files.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// The program's arguments after its own name, as texts in codePage. When codePage is the system's
// (SystemCodePage), argv exactly as the system gave it. Otherwise, on Windows, from the wide
// command line (GetCommandLineW split by CommandLineToArgvW), which holds every character as it
// was typed, converted into codePage; elsewhere argv converted from the system's code page.
// Nothing when an argument has no text in codePage (a character the code page lacks, bytes that
// are no text of the locale's character set): refused then holds that argument as the system gave
// it, for the message.
std::optional<std::vector<std::string>> CommandLineArguments(int argc, char** argv,
                                                             unsigned codePage,
                                                             std::string& refused);

// Converts text from one code page into another: nothing when the bytes are no text of
// fromCodePage or a character has no bytes in toCodePage (never a "?" or a look-alike). The same
// code page on both sides returns the bytes unchanged.
std::optional<std::string> CodePageToCodePage(unsigned fromCodePage, unsigned toCodePage,
                                              std::string_view text);

}  // namespace velmora::platform
