#include "ui/Application.h"

#include <commctrl.h>
#include <objbase.h>

#include "engine/ProgramTexts.h"
#include "platform/CodePageTable.h"
#include "platform/Platform.h"
#include "ui/ScopedWin.h"

namespace velmora::ui {

namespace {
CWinApp* theApp = nullptr;
constexpr char kProductName[] = "Velmora";
}  // namespace

CWinApp::CWinApp() { theApp = this; }

CWinApp::~CWinApp() {
  if (theApp == this) theApp = nullptr;
}

int CWinApp::Run(HINSTANCE instance) {
  Instance = instance;
  // A drive that is not ready or a file that cannot be opened makes the call fail instead of
  // showing the system's own box; the caller reports it in its own way.
  SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  const unsigned codePage = GetACP();
  SetProcessCodePage(codePage);
  InitProgramTexts(codePage);
  DisplayName = DisplayNameFor(platform::ProgramPath());
  RegisterCommonControls();
  // The folder browser is a shell object and needs COM on this thread.
  const ScopedCom com;
  InitInstance();
  return 0;
}

void RegisterCommonControls() {
  // The main window's template needs the up-down class. Common controls 6 also knows
  // ICC_STANDARD_CLASSES; version 5.82, which a process without the manifest gets, rejects the
  // whole call for that flag and registers nothing, so the call is repeated without it.
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  if (InitCommonControlsEx(&controls)) return;
  controls.dwICC = ICC_UPDOWN_CLASS;
  InitCommonControlsEx(&controls);
}

const std::string& AppDisplayName() {
  static const std::string empty;
  return theApp ? theApp->DisplayName : empty;
}

HINSTANCE ResourceInstance() {
  return theApp && theApp->Instance ? theApp->Instance : GetModuleHandleA(nullptr);
}

std::string LoadResourceString(unsigned id) {
  // LoadStringA converts the stored UTF-16 text into the process code page.
  char buffer[1024];
  const int length = LoadStringA(ResourceInstance(), id, buffer, sizeof buffer);
  return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

std::string DisplayNameFor(const std::string& programPath) {
  const CodePageTable& table = ProcessCodePageTable();
  std::size_t nameStart = 0;
  std::size_t lastDot = std::string::npos;
  // A double-byte character is never a separator or a dot, whatever its second byte.
  for (CharacterWalk walk(programPath, table); !walk.Done(); walk.Advance()) {
    if (walk.Byte() == '\\' || walk.Byte() == '/' || walk.Byte() == ':') {
      nameStart = walk.End();
      lastDot = std::string::npos;
    } else if (walk.Byte() == '.') {
      lastDot = walk.Start();
    }
  }
  const std::size_t end = lastDot == std::string::npos ? programPath.size() : lastDot;
  // A program whose path could not be had still captions its message boxes.
  if (end == nameStart) return kProductName;
  return programPath.substr(nameStart, end - nameStart);
}

}  // namespace velmora::ui
