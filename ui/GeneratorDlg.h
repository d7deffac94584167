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
  // The Run command: a take-up whose check failed ends it after the message; then the look at
  // the files, the run itself, and the offer of the log when files could not be written.
  void OnRun();
  // The generation run with the window as its host.
  RunSummary RunGeneration();
  // Warns of a template or input that the run would read wrongly (UTF-8 in another code page,
  // LF line ends without CR) and asks whether to run all the same; true to run.
  bool ConfirmRunFiles();
  // After a run in which files could not be written: says how many and offers the log window.
  void OfferLogAfterFailedFiles(const RunSummary& summary);
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
  // The same box with a reason of the program's own.
  void ShowSettingsFileProblem(unsigned textId, const std::string& path,
                               const std::string& reason);
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
  DWORD startReadError_ = ERROR_SUCCESS;  // why, shown once the window is on screen
  bool running_ = false;  // a run is going on: commands are refused (see RunScope)
  DWORD statusShownAt_ = 0;  // when the run's status line last changed (GetTickCount)

  // Marks the window as running for its life. While it runs, the window's thread takes no input,
  // but messages that other threads and programs send (a BM_CLICK on the Run button, a
  // WM_COMMAND, WM_CLOSE) are still handled inside the run, and these are refused; at its end,
  // the input and commands queued meanwhile are dropped, so that no click made during the run
  // starts another one afterwards.
  class RunScope {
   public:
    explicit RunScope(CGeneratorDlg& dialog) : dialog_(dialog) {
      dialog_.running_ = true;
      dialog_.statusShownAt_ = GetTickCount();
    }
    ~RunScope() {
      // What came once the run's last status was on screen was made after the run, as the user
      // saw it.
      dialog_.DiscardQueuedInput(dialog_.statusShownAt_);
      dialog_.running_ = false;
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

   private:
    CGeneratorDlg& dialog_;
  };
};

}  // namespace velmora::ui
