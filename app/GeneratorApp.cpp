#include "app/GeneratorApp.h"

#include "platform/CodePageTable.h"
#include "platform/Platform.h"
#include "settings/SettingsStore.h"
#include "ui/GeneratorDlg.h"

namespace velmora {

bool CGeneratorApp::InitInstance() {
  SettingsFilePath = SettingsFilePathFor(platform::ProgramPath(), ProcessCodePageTable());
  ui::CGeneratorDlg dialog(*this);
  dialog.DoModal();
  return false;
}

}  // namespace velmora
