#include "platform/CommandLine.h"

#include <windows.h>
// shellapi.h after windows.h: CommandLineToArgvW.
#include <shellapi.h>

#include <memory>

#include "platform/Platform.h"
#include "platform/win32/Win32Platform.h"

namespace velmora::platform {

namespace {

// CommandLineToArgvW's array: "To free the memory, call the LocalFree function".
struct LocalFreeDeleter {
  void operator()(wchar_t** arguments) const { LocalFree(arguments); }
};

}  // namespace

std::optional<std::vector<std::string>> CommandLineArguments(int argc, char** argv,
                                                             unsigned codePage,
                                                             std::string& refused) {
  if (codePage == GetACP()) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  // argv holds the ANSI code page's bytes, with "?" or a look-alike for any character that the
  // code page lacks: only the wide command line has the texts as typed.
  int count = 0;
  const std::unique_ptr<wchar_t*, LocalFreeDeleter> wide(
      CommandLineToArgvW(GetCommandLineW(), &count));
  if (!wide) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) {
    std::optional<std::string> text = WideToCodePage(codePage, wide.get()[i]);
    if (!text) {
      // Shown as the system's code page shows it, the best it can.
      const int length = WideCharToMultiByte(CP_ACP, 0, wide.get()[i], -1, nullptr, 0, nullptr,
                                             nullptr);
      refused.assign(length > 0 ? static_cast<std::size_t>(length) : 1u, '\0');
      WideCharToMultiByte(CP_ACP, 0, wide.get()[i], -1, refused.data(), length, nullptr, nullptr);
      refused.resize(refused.size() - 1);
      return std::nullopt;
    }
    arguments.push_back(std::move(*text));
  }
  return arguments;
}

std::optional<std::string> CodePageToCodePage(unsigned fromCodePage, unsigned toCodePage,
                                              std::string_view text) {
  if (fromCodePage == toCodePage) return std::string(text);
  const std::optional<std::u16string> wide = CodePageToUtf16(fromCodePage, text);
  if (!wide) return std::nullopt;
  return WideToCodePage(toCodePage, std::wstring(wide->begin(), wide->end()));
}

}  // namespace velmora::platform
