#include "ui/GeneratorDlg.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <string>

#include "engine/ProgramTexts.h"
#include "engine/RecordReader.h"
#include "engine/TextSniff.h"
#include "engine/WriterPipeline.h"
#include "platform/CodePageTable.h"
#include "platform/Platform.h"
#include "res/resource.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "ui/AboutDlg.h"
#include "ui/BrowseForFolder.h"
#include "ui/DialogRunHost.h"
#include "ui/ErrorBox.h"
#include "ui/FileDialog.h"
#include "ui/LogDlg.h"
#include "ui/SettingsFileAccess.h"

namespace velmora::ui {

namespace {

constexpr std::size_t kTextLimit = 255;  // placeholder and file-name lead and tail texts
constexpr std::size_t kPathLimit = 260;  // paths and the default text
constexpr std::uint32_t kRuleNumberMaximum = 255;

// The lists' entries in list order, from the string table.
struct ListEntries {
  int control;
  unsigned strings[2];
};
constexpr ListEntries kLists[] = {
    {IDC_REPLACE_FORMAT, {IDS_REPLACE_FORMAT_HTML, IDS_REPLACE_FORMAT_TEXT}},
    {IDC_FIELD_SEPARATOR, {IDS_FIELD_SEPARATOR_CSV, IDS_FIELD_SEPARATOR_TSV}},
    {IDC_FIELD_BREAK, {IDS_FIELD_BREAK_0A, IDS_FIELD_BREAK_0B}},
};

// The flags of every file dialog of the window: OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT.
constexpr DWORD kFileDialogFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;

// Posted at the start, so that the box about a settings file that could not be read shows over
// the window rather than before it.
constexpr UINT kShowStartProblem = WM_APP + 1;

// Binary garbage can hold a section name on every line; a file whose names fill more than this is
// taken as holding settings, and reading it decides.
constexpr DWORD kMaxSectionNamesBytes = DWORD{1} << 24;

// Whether the file has a section of the settings, as the profile functions read it (names
// without regard to case): a file of another kind has none, and reading it would only give
// every setting its default.
bool HoldsSettingsSection(const std::string& path) {
  for (DWORD size = DWORD{1} << 16;; size *= 2) {
    std::string names(size, '\0');
    const DWORD length = GetPrivateProfileSectionNamesA(names.data(), size, path.c_str());
    // "If the buffer is not large enough to contain all the section names associated with the
    // specified initialization file, the return value is equal to the size specified by nSize
    // minus two."
    if (length + 2 >= size) {
      if (size >= kMaxSectionNamesBytes) return true;
      continue;
    }
    // Each name ends with a NUL, and the list with another.
    for (const char* name = names.c_str(); *name != '\0'; name += std::strlen(name) + 1) {
      for (const SettingsKey& key : kSettingsKeys) {
        if (lstrcmpiA(name, key.section) == 0) return true;
      }
    }
    return false;
  }
}

}  // namespace

CGeneratorDlg::CGeneratorDlg(CWinApp& app) : CDialog(IDD_MAIN, nullptr), app_(app) {
  icon_ = static_cast<HICON>(LoadImageA(ResourceInstance(), MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON,
                                        GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                        LR_DEFAULTCOLOR));
}

CGeneratorDlg::~CGeneratorDlg() {
  if (icon_) DestroyIcon(icon_);
}

bool CGeneratorDlg::ExchangeData(DataExchange& exchange) {
  if (!spin_) spin_ = Item(IDC_RULE_NUMBER_SPIN);
  GeneratorSettings& s = Settings;
  // The order is the one of the checks: the first failing control stops the exchange, and the
  // fields after it keep their values.
  return exchange.ListIndex(IDC_FIELD_BREAK, s.FieldBreak) &&
         exchange.ListIndex(IDC_FIELD_SEPARATOR, s.FieldSeparator) &&
         exchange.ListIndex(IDC_REPLACE_FORMAT, s.ReplaceFormat) &&
         exchange.Text(IDC_REPLACE_LEAD, s.ReplaceLead, kTextLimit) &&
         exchange.Text(IDC_REPLACE_TAIL, s.ReplaceTail, kTextLimit) &&
         exchange.Text(IDC_RULE_LEAD, s.RuleLead, kTextLimit) &&
         exchange.Text(IDC_RULE_TAIL, s.RuleTail, kTextLimit) &&
         exchange.Number(IDC_RULE_NUMBER, s.RuleNumber, 0, kRuleNumberMaximum) &&
         exchange.RadioIndex(IDC_RULE_RECORD, s.Rule) &&
         exchange.Text(IDC_OUTPUT, s.Output, kPathLimit) &&
         exchange.Text(IDC_INPUT, s.Input, kPathLimit) &&
         exchange.Text(IDC_TEMPLATE, s.Template, kPathLimit) &&
         exchange.Text(IDC_REPLACE_DEFAULT, s.ReplaceDefault, kPathLimit);
}

bool CGeneratorDlg::FillLists() {
  for (const ListEntries& list : kLists) {
    HWND combo = Item(list.control);
    for (unsigned id : list.strings) {
      const std::string entry = LoadResourceString(id);
      const LRESULT added =
          SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
      if (entry.empty() || added == CB_ERR || added == CB_ERRSPACE) return false;
    }
  }
  return true;
}

bool CGeneratorDlg::OnInitDialog() {
  // The lists, then a show of the construction values; a window where either fails ends with
  // -1 at once, while the remaining steps still run.
  const bool filled = FillLists();
  const bool shown = UpdateData(false);
  initialised_ = filled && shown;
  if (!initialised_) EndDialog(-1);
  CenterWindow();

  HMENU systemMenu = GetSystemMenu(Handle(), FALSE);
  const std::string about = LoadResourceString(IDS_ABOUTBOX);
  if (systemMenu && !about.empty()) {
    AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
  }
  SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  // Maximum in the low half, minimum in the high half.
  SendMessageA(spin_, UDM_SETRANGE, 0, MAKELPARAM(kRuleNumberMaximum, 0));

  // A file that is there but cannot be read (another program holds it) loads as the defaults;
  // saving those at the close would put them over the user's settings.
  startReadError_ = SettingsFileReadError(app_.SettingsFilePath);
  keepSettingsFile_ = startReadError_ != ERROR_SUCCESS;
  if (keepSettingsFile_) PostMessageA(Handle(), kShowStartProblem, 0, 0);
  LoadSettings(Settings, app_.SettingsFilePath);
  UpdateData(false);
  return true;
}

bool CGeneratorDlg::OnCommand(int id, int notifyCode, HWND control) {
  // During a run only messages that other threads or programs send get here (and, while the
  // question before it is open, what the question's own loop dispatches): a second run inside
  // the first would empty the log and free the data the first one still reads.
  if (running_) return true;
  switch (id) {
    case IDC_RUN: OnRun(); return true;
    case IDC_BROWSE_TEMPLATE: OnBrowseTemplate(); return true;
    case IDC_BROWSE_INPUT: OnBrowseInput(); return true;
    case IDC_BROWSE_OUTPUT: OnBrowseOutput(); return true;
    case ID_SETTINGS_LOAD: OnSettingsLoad(); return true;
    case ID_SETTINGS_SAVE: OnSettingsSave(); return true;
    case ID_VIEW_LOG: OnViewLog(); return true;
    case ID_HELP_README: OnHelpReadme(); return true;
    case IDM_ABOUTBOX: OnAboutBox(); return true;
    default: return CDialog::OnCommand(id, notifyCode, control);
  }
}

void CGeneratorDlg::OnOK() {}

void CGeneratorDlg::OnDestroy() {
  // A window that could not show its controls would save what the broken controls hold over
  // the user's settings, and one that could not read them would save the defaults; either
  // leaves the settings file alone instead.
  if (initialised_ && !keepSettingsFile_) {
    UpdateData(true);
    SaveSettings(Settings, app_.SettingsFilePath);
  }
}

bool CGeneratorDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
  switch (message) {
    case WM_SYSCOMMAND:
      // The low four bits of a system command are the system's own.
      if ((LOWORD(wParam) & 0xFFF0) == IDM_ABOUTBOX) {
        if (!running_) OnAboutBox();
        result = TRUE;
        return true;
      }
      return false;
    case WM_CLOSE:
      // The dialog's default posts IDCANCEL, which would close the window once the run ends.
      if (!running_) return false;
      result = TRUE;
      return true;
    case kShowStartProblem:
      ShowSettingsFileProblem(IDS_SETTINGS_START_FAILED, app_.SettingsFilePath,
                              SystemErrorText(startReadError_));
      return true;
    case WM_PAINT:
      if (!IsIconic(Handle())) return false;
      OnPaint();
      result = TRUE;
      return true;
    case WM_QUERYDRAGICON:
      // One of the messages whose result a dialog procedure returns directly.
      result = reinterpret_cast<INT_PTR>(icon_);
      return true;
    default:
      return false;
  }
}

void CGeneratorDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(Handle(), &paint);
  SendMessageA(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(Handle(), &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, icon_);
  EndPaint(Handle(), &paint);
}

void CGeneratorDlg::OnRun() {
  // After a failed check the fields from the failed control on keep their earlier values, and a
  // run would use paths that are no longer on screen.
  if (!UpdateData(true)) return;
  RunSummary summary;
  {
    const RunScope running(*this);
    if (!ConfirmRunFiles()) return;
    summary = RunGeneration();
  }
  OfferLogAfterFailedFiles(summary);
}

RunSummary CGeneratorDlg::RunGeneration() {
  DialogRunHost host(Item(IDC_STATUS), &statusShownAt_);
  // Files are written on several threads for speed; the merge, the status line and the log stay
  // on this thread, which also keeps the window responding (DialogRunHost::KeepResponsive).
  RunEnvironment environment;
  environment.writerThreads = DefaultWriterThreads();
  environment.protectedPaths.push_back(app_.SettingsFilePath);
  return GenerationRun(Run, Settings, host, environment);
}

bool CGeneratorDlg::ConfirmRunFiles() {
  const unsigned codePage = ProcessCodePageTable().CodePage();
  std::string findings;
  const auto look = [&](const std::string& path, bool records) {
    const std::optional<TextSniff> sniff = SniffTextFile(path);
    if (!sniff) return;
    if (codePage != kUtf8CodePage && (sniff->utf8ByteOrderMark || sniff->looksUtf8)) {
      findings += FormatText(LoadResourceString(IDS_RUN_FILE_UTF8),
                             {path, std::to_string(codePage)}) + "\n";
    }
    if (records && sniff->lfWithoutCr) {
      findings += FormatText(LoadResourceString(IDS_RUN_INPUT_LF_ONLY), {path}) + "\n";
    }
  };
  look(Settings.Template, false);
  look(Settings.Input, true);
  if (findings.empty()) return true;
  // "No" is the default: Enter does not start a run that would write wrong files.
  return AppMessageBox(Handle(), findings + "\n" + LoadResourceString(IDS_RUN_ANYWAY),
                       MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) == IDYES;
}

void CGeneratorDlg::OfferLogAfterFailedFiles(const RunSummary& summary) {
  if (summary.failedFiles == 0) return;
  const std::string text = FormatText(LoadResourceString(IDS_RUN_FILES_FAILED),
                                      {std::to_string(summary.failedFiles)});
  if (AppMessageBox(Handle(), text, MB_YESNO | MB_ICONEXCLAMATION) == IDYES) OnViewLog();
}

void CGeneratorDlg::BrowseForFile(std::string& field) {
  UpdateData(true);
  FileDialogOptions options;
  options.open = true;
  options.initialName = field;
  options.filter = LoadResourceString(IDS_ALL_FILES_FILTER);
  options.flags = kFileDialogFlags;
  if (std::optional<std::string> chosen = ShowFileDialog(Handle(), options)) {
    field = *chosen;
    UpdateData(false);
  }
}

void CGeneratorDlg::OnBrowseTemplate() { BrowseForFile(Settings.Template); }

void CGeneratorDlg::OnBrowseInput() { BrowseForFile(Settings.Input); }

void CGeneratorDlg::OnBrowseOutput() {
  UpdateData(true);
  // Seeded with the current folder, so that a choice without a usable path keeps it.
  char folder[MAX_PATH] = {};
  Settings.Output.copy(folder, sizeof folder - 1);
  if (BrowseForFolder(Handle(), Settings.Output.c_str(), folder, sizeof folder) == IDOK) {
    Settings.Output = folder;
    UpdateData(false);
  }
}

std::optional<std::string> CGeneratorDlg::AskSettingsFile(bool open) {
  UpdateData(true);
  FileDialogOptions options;
  options.open = open;
  options.defaultExtension = "vmz";
  options.filter = LoadResourceString(IDS_SETTINGS_FILTER);
  options.flags = kFileDialogFlags;
  return ShowFileDialog(Handle(), options);
}

void CGeneratorDlg::ShowSettingsFileError(unsigned textId, const std::string& path,
                                          DWORD error) {
  ShowSettingsFileProblem(textId, path, SystemErrorText(error));
}

void CGeneratorDlg::ShowSettingsFileProblem(unsigned textId, const std::string& path,
                                            const std::string& reason) {
  AppMessageBox(Handle(), FormatText(LoadResourceString(textId), {path, reason}),
                MB_OK | MB_ICONEXCLAMATION);
}

void CGeneratorDlg::OnSettingsLoad() {
  const std::optional<std::string> chosen = AskSettingsFile(true);
  if (!chosen) return;
  // The profile functions would read a file they cannot open as one without keys and reset
  // every control; such an import changes nothing. A missing file still gives the defaults.
  if (const DWORD error = SettingsFileReadError(*chosen); error != ERROR_SUCCESS) {
    ShowSettingsFileError(IDS_SETTINGS_LOAD_FAILED, *chosen, error);
    return;
  }
  // Another kind of file, chosen by mistake, would reset every control to the defaults as well.
  if (GetFileAttributesA(chosen->c_str()) != INVALID_FILE_ATTRIBUTES &&
      !HoldsSettingsSection(*chosen)) {
    ShowSettingsFileProblem(IDS_SETTINGS_LOAD_FAILED, *chosen,
                            LoadResourceString(IDS_SETTINGS_NO_SECTION));
    return;
  }
  LoadSettings(Settings, *chosen);
  UpdateData(false);
}

void CGeneratorDlg::OnSettingsSave() {
  const std::optional<std::string> chosen = AskSettingsFile(false);
  if (!chosen) return;
  // The profile functions' failed writes go unreported; a file they could not write is found
  // before anything is written to it.
  if (const DWORD error = SettingsFileWriteError(*chosen); error != ERROR_SUCCESS) {
    ShowSettingsFileError(IDS_SETTINGS_SAVE_FAILED, *chosen, error);
    return;
  }
  SaveSettings(Settings, *chosen);
}

void CGeneratorDlg::OnViewLog() {
  CLogDlg log(Handle());
  log.LogText = Run.RunLog;
  log.DoModal();
}

void CGeneratorDlg::OnHelpReadme() {
  const std::string programPath = platform::ProgramPath();
  // Without the program's own path there is nothing to open: a bare ".htm" would be looked for in
  // the current folder. The message then names the read-me by the display name.
  if (programPath.empty()) {
    AppMessageBox(Handle(),
                  FormatText(Texts().readmeOpenFailed,
                             {AppDisplayName() + ".htm", std::to_string(ERROR_PATH_NOT_FOUND)}),
                  MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  const std::string path = PathBesideProgram(programPath, ".htm", ProcessCodePageTable());
  const HINSTANCE result =
      ShellExecuteA(nullptr, "OPEN", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  // "If the function succeeds, it returns a value greater than 32."
  if (reinterpret_cast<INT_PTR>(result) > 32) return;
  const DWORD error = GetLastError();
  AppMessageBox(Handle(),
                FormatText(Texts().readmeOpenFailed, {path, std::to_string(error)}),
                MB_OK | MB_ICONEXCLAMATION);
}

void CGeneratorDlg::OnAboutBox() {
  CAboutDlg about(Handle());
  about.DoModal();
}

}  // namespace velmora::ui
