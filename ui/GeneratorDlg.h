// The main window: every setting of a run as a control, the menu, the status line and the Run
// button. Holds the settings record and the run's working data for as long as it exists.
#pragma once

#include <optional>
#include <string>

#include "engine/GenerationRun.h"
#include "settings/GeneratorSettings.h"
#include "ui/Application.h"
#include "ui/Dialog.h"

namespace velmora::ui {

class CGeneratorDlg : public CDialog {
 public:
  // app: the application whose SettingsFilePath the window reads and saves.
  explicit CGeneratorDlg(CWinApp& app);
  ~CGeneratorDlg() override;

  RunState Run;                 // SeparatorChar, RunLog, TemplateText, CurrentLine
  GeneratorSettings Settings;   // every text empty and every number 0 until LoadSettings

 protected:
  bool ExchangeData(DataExchange& exchange) override;
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;
  void OnOK() override;  // Enter never closes the window
  void OnDestroy() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  // Fills the drop-down lists from the string table; false when an entry is missing.
  bool FillLists();
  void OnRun();
  void OnBrowseTemplate();
  void OnBrowseInput();
  void OnBrowseOutput();
  // The open dialog for the Template or Input field; a show after a confirmed choice.
  void BrowseForFile(std::string& field);
  // Takes up the controls, then asks for a settings file in the open or save dialog; nothing
  // when the user cancels.
  std::optional<std::string> AskSettingsFile(bool open);
  // The error box of an import or export whose file could not be opened: the file's path and
  // the system's reason for error.
  void ShowSettingsFileError(unsigned textId, const std::string& path, DWORD error);
  void OnSettingsLoad();
  void OnSettingsSave();
  void OnViewLog();
  void OnHelpReadme();
  void OnAboutBox();
  void OnPaint();

  CWinApp& app_;
  HWND spin_ = nullptr;  // attached by the first exchange
  HICON icon_ = nullptr;
  bool initialised_ = false;  // the controls were filled and shown
  bool keepSettingsFile_ = false;  // it was there at the start but could not be read
};

}  // namespace velmora::ui
