// velmora-rundriver (Windows): times the Run button of the window. Starts velmora.exe (which reads
// its settings from the settings file beside it), waits for its main window, posts the click on
// the Run button and polls the status line until it shows the finishing text with the expected
// count; prints the seconds from the click to that text, then closes the window.
//
//   velmora-rundriver VELMORA_EXE RECORDS

#include <windows.h>

#include <cstdio>
#include <string>

#include "res/resource.h"

namespace {

// " 処理を終了しました。（" and "件）" in code page 932.
constexpr char kFinishedLead[] =
    " \x8f\x88\x97\x9d\x82\xf0\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42\x81\x69";
constexpr char kFinishedTail[] = "\x8c\x8f\x81\x6a";

// The text of a control of another process: GetWindowTextA reads it without sending a message,
// so it answers while the window is busy with the run.
std::string ControlText(HWND dialog, int id) {
  char buffer[512] = {};
  GetWindowTextA(GetDlgItem(dialog, id), buffer, sizeof buffer);
  return buffer;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: velmora-rundriver VELMORA_EXE RECORDS\n");
    return 2;
  }
  const std::string finished = std::string(kFinishedLead) + argv[2] + kFinishedTail;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string commandLine = std::string("\"") + argv[1] + "\"";
  if (!CreateProcessA(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(stderr, "velmora-rundriver: cannot start %s (%lu)\n", argv[1], GetLastError());
    return 1;
  }
  WaitForInputIdle(process.hProcess, 10000);
  HWND main = nullptr;
  for (int i = 0; i < 1000 && main == nullptr; ++i) {
    main = FindWindowA("#32770", "Velmora");
    if (main == nullptr) Sleep(10);
  }
  int status = 1;
  if (main == nullptr) {
    std::fprintf(stderr, "velmora-rundriver: no window\n");
  } else {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    // Posted, not sent: the run keeps the window busy until it ends.
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_RUN, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(main, IDC_RUN)));
    for (;;) {
      if (ControlText(main, IDC_STATUS) == finished) {
        QueryPerformanceCounter(&end);
        std::printf("%.4f\n", Seconds(start, end));
        status = 0;
        break;
      }
      if (WaitForSingleObject(process.hProcess, 5) == WAIT_OBJECT_0) {
        std::fprintf(stderr, "velmora-rundriver: the program ended during the run\n");
        break;
      }
      QueryPerformanceCounter(&end);
      if (Seconds(start, end) > 1800) {
        std::fprintf(stderr, "velmora-rundriver: no finishing text after 30 minutes\n");
        break;
      }
    }
    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return status;
}
