// The application object: fixes the settings file beside the program and runs the main window.
#pragma once

#include "ui/Application.h"

namespace velmora {

class CGeneratorApp : public ui::CWinApp {
 public:
  // Runs the main window modally; the application's whole life happens inside. Always returns
  // false: there is no message loop after the window.
  bool InitInstance() override;
};

}  // namespace velmora
