// The program's own texts: run log, status line, check messages and error boxes. Written once in
// UTF-8 here and converted into the process code page once at start-up.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace velmora {

struct SystemTexts {
  // Run log and status line.
  std::string rule;                // "----"
  std::string inputLabel;          // "入力ファイル名："
  std::string templateLabel;       // "雛型ファイル名："
  std::string outputLabel;         // "出力フォルダ名："
  std::string separatorComma;      // "セパレータ：カンマ (csv)"
  std::string separatorTab;        // "セパレータ：タブ (tsv)"
  std::string processingLead;      // " 処理中：" before the record number
  std::string processingTail;      // "件" after it
  std::string finishedLead;        // " 処理を終了しました。（" before the count
  std::string finishedTail;        // "件）" after it
  std::string inputOpenFailed;     // " 入力ファイルがオープン出来ません。"
  std::string templateOpenFailed;  // " 雛型ファイルがオープン出来ません。"
  std::string templateReadFailed;  // " 雛型ファイルの読み込みに失敗しました。"
  std::string outputOpenFailedLead;  // " " before the output name
  std::string outputOpenFailedTail;  // "ファイルがオープン出来ません。" after it

  // Error boxes of commands ("%1" stands for the file's path).
  std::string outOfMemory;    // "ﾒﾓﾘが不足しています。"
  std::string internalError;  // "ｱﾌﾟﾘｹｰｼｮﾝの内部ｴﾗｰです。"
  std::string fileErrors[13];  // one per platform::FileErrorCause

  // Check messages of the main window.
  std::string textTooLong;      // "%1 文字以内で入力してください。"
  std::string notANumber;       // "正の整数を入力してください。"
  std::string numberOutOfRange;  // "%1 から %2 までの整数を入力してください。"
  std::string readmeOpenFailed;  // "'%1' を開くことができません。(Error:%2)"
};

// Converts every text into the code page; called once at start-up (and by tests).
void InitSystemTexts(unsigned codePage);

// The texts in the process code page (UTF-8 until InitSystemTexts runs).
const SystemTexts& Texts();

// Puts args in place of "%1", "%2", ... in pattern; inserted text is not scanned again.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);

// The text of the error box for a file error: the cause's text with the file's path.
std::string FileErrorText(const platform::FileError& error);

// " 処理中：n件" and " 処理を終了しました。（n件）".
std::string ProgressText(std::uint32_t recordNumber);
std::string FinishedText(std::uint32_t count);

}  // namespace velmora
