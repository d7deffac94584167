// The application object of the dialog layer: the values the program keeps for its whole life
// (display name, current settings file) and the start-up that runs InitInstance.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::ui {

class CWinApp {
 public:
  // Registers this object as the application; exactly one may exist.
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The application's life: runs after the start-up of Run. Returning false ends the process
  // without a message loop.
  virtual bool InitInstance() = 0;

  // Start-up: the error mode that keeps the system's own error boxes away, the process code page
  // and the program's texts in it, DisplayName, the common controls and COM; then InitInstance.
  // Returns the process's exit status.
  int Run(HINSTANCE instance);

  HINSTANCE Instance = nullptr;
  // The base name of the program file without its extension: the caption of message boxes.
  std::string DisplayName;
  // The settings file that LoadSettings and SaveSettings use.
  std::string SettingsFilePath;
};

// Registers the common control classes that the dialogs use, with flags that the loaded version
// of the library accepts (common controls 5.82 without the manifest, 6 with it).
void RegisterCommonControls();

// The caption of message boxes without a caption of their own.
const std::string& AppDisplayName();

// The module whose resources the dialogs use.
HINSTANCE ResourceInstance();

// The string resource id in the process code page; empty when there is none.
std::string LoadResourceString(unsigned id);

// The display name for a program path: the file name without folder and extension, found
// character by character in the process code page (CharacterWalk); the product name "Velmora"
// when that is empty (a program path that could not be had).
std::string DisplayNameFor(const std::string& programPath);

}  // namespace velmora::ui
