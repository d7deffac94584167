// The program's own texts: run log, status line, check messages and error boxes. Written once in
// UTF-8, one row each in ProgramTexts.cpp, and converted into the process code page once at
// start-up.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace velmora {

struct ProgramTexts {
  // Run log and status line.
  std::string rule;                  // the line around the run's header
  std::string inputLabel;            // in front of the input file's path
  std::string templateLabel;         // in front of the template's path
  std::string outputLabel;           // in front of the output folder's path
  std::string separatorComma;        // the separator line of a comma-separated input
  std::string separatorTab;          // the separator line of a tab-separated input
  std::string processingLead;        // the progress text, before the record number
  std::string processingTail;        // and after it
  std::string finishedLead;          // the closing text, before the record count
  std::string finishedTail;          // and after it
  std::string inputOpenFailed;       // the input file cannot be opened
  std::string templateOpenFailed;    // the template cannot be opened
  std::string templateReadFailed;    // the template cannot be read
  std::string outputOpenFailedLead;  // an output file cannot be opened: before its name
  std::string outputOpenFailedTail;  // and after it

  // Error boxes of commands ("%1" stands for the file's path).
  std::string outOfMemory;
  std::string internalError;
  std::string fileErrors[13];  // one per platform::FileErrorCause

  // Check messages of the main window ("%1" and "%2" stand for numbers, a path, an error code).
  std::string textTooLong;       // a text over its limit of %1 bytes
  std::string notANumber;        // a number edit without a number
  std::string numberOutOfRange;  // a number outside %1 to %2
  std::string readmeOpenFailed;  // the read-me %1 cannot be opened, system error %2
};

// Converts every text into the code page; called once at start-up (and by tests).
void InitProgramTexts(unsigned codePage);

// The texts in the process code page (UTF-8 until InitProgramTexts runs).
const ProgramTexts& Texts();

// Puts args in place of "%1", "%2", ... in pattern; inserted text is not scanned again.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);

// The text of the error box for a file error: the cause's text with the file's path.
std::string FileErrorText(const platform::FileError& error);

// " 処理中：n件" and " 処理を終了しました。（n件）".
std::string ProgressText(std::uint32_t recordNumber);
std::string FinishedText(std::uint32_t count);

}  // namespace velmora
