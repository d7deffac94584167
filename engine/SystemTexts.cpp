#include "engine/SystemTexts.h"

#include <charconv>

namespace velmora {

namespace {

SystemTexts Utf8Texts() {
  SystemTexts t;
  t.rule = "----";
  t.inputLabel = "入力ファイル名：";
  t.templateLabel = "雛型ファイル名：";
  t.outputLabel = "出力フォルダ名：";
  t.separatorComma = "セパレータ：カンマ (csv)";
  t.separatorTab = "セパレータ：タブ (tsv)";
  t.processingLead = " 処理中：";
  t.processingTail = "件";
  t.finishedLead = " 処理を終了しました。（";
  t.finishedTail = "件）";
  t.inputOpenFailed = " 入力ファイルがオープン出来ません。";
  t.templateOpenFailed = " 雛型ファイルがオープン出来ません。";
  t.templateReadFailed = " 雛型ファイルの読み込みに失敗しました。";
  t.outputOpenFailedLead = " ";
  t.outputOpenFailedTail = "ファイルがオープン出来ません。";
  t.outOfMemory = "ﾒﾓﾘが不足しています。";
  t.internalError = "ｱﾌﾟﾘｹｰｼｮﾝの内部ｴﾗｰです。";
  using C = platform::FileErrorCause;
  auto set = [&t](C cause, const char* text) { t.fileErrors[static_cast<int>(cause)] = text; };
  set(C::Generic, "%1 へのｱｸｾｽ中にｴﾗｰが発生しました。");
  set(C::FileNotFound, "%1 が見つかりません。");
  set(C::BadPath, "%1 のﾊﾟｽが正しくありません。");
  set(C::TooManyOpenFiles, "%1 を開けません。開いているﾌｧｲﾙが多すぎます。");
  set(C::AccessDenied, "%1 へのｱｸｾｽが拒否されました。");
  set(C::InvalidFile, "%1 へのｱｸｾｽ中に無効なﾌｧｲﾙ ﾊﾝﾄﾞﾙが使われました。");
  set(C::DirectoryFull, "%1 を作成できません。ﾃﾞｨﾚｸﾄﾘがいっぱいです。");
  set(C::BadSeek, "%1 のﾌｧｲﾙ ﾎﾟｲﾝﾀの設定中にｴﾗｰが発生しました。");
  set(C::HardIO, "%1 へのｱｸｾｽ中にﾊｰﾄﾞｳｪｱ I/O ｴﾗｰが発生しました。");
  set(C::SharingViolation, "%1 へのｱｸｾｽ中に共有違反が発生しました。");
  set(C::LockViolation, "%1 へのｱｸｾｽ中にﾛｯｸ違反が発生しました。");
  set(C::DiskFull, "%1 へのｱｸｾｽ中にﾃﾞｨｽｸがいっぱいになりました。");
  set(C::EndOfFile, "%1 へのｱｸｾｽ中にﾌｧｲﾙの終わりを越えて読み書きしようとしました。");
  t.textTooLong = "%1 文字以内で入力してください。";
  t.notANumber = "正の整数を入力してください。";
  t.numberOutOfRange = "%1 から %2 までの整数を入力してください。";
  t.readmeOpenFailed = "'%1' を開くことができません。(Error:%2)";
  return t;
}

SystemTexts& Current() {
  static SystemTexts texts = Utf8Texts();
  return texts;
}

std::string Decimal(std::uint64_t value) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  return std::string(digits, end);
}

}  // namespace

void InitSystemTexts(unsigned codePage) {
  SystemTexts t = Utf8Texts();
  auto convert = [codePage](std::string& text) { text = platform::Utf8ToCodePage(codePage, text); };
  for (std::string* text :
       {&t.rule, &t.inputLabel, &t.templateLabel, &t.outputLabel, &t.separatorComma,
        &t.separatorTab, &t.processingLead, &t.processingTail, &t.finishedLead, &t.finishedTail,
        &t.inputOpenFailed, &t.templateOpenFailed, &t.templateReadFailed,
        &t.outputOpenFailedLead, &t.outputOpenFailedTail, &t.outOfMemory, &t.internalError,
        &t.textTooLong, &t.notANumber, &t.numberOutOfRange, &t.readmeOpenFailed}) {
    convert(*text);
  }
  for (std::string& text : t.fileErrors) convert(text);
  Current() = std::move(t);
}

const SystemTexts& Texts() { return Current(); }

std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(pattern.size() + 64);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
        pattern[i + 1] <= '9') {
      auto index = static_cast<std::size_t>(pattern[i + 1] - '1');
      if (index < args.size()) {
        out.append(*(args.begin() + index));
        ++i;
        continue;
      }
    }
    out.push_back(pattern[i]);
  }
  return out;
}

std::string FileErrorText(const platform::FileError& error) {
  return FormatText(Texts().fileErrors[static_cast<int>(error.Cause())], {error.Path()});
}

std::string ProgressText(std::uint32_t recordNumber) {
  const SystemTexts& t = Texts();
  return t.processingLead + Decimal(recordNumber) + t.processingTail;
}

std::string FinishedText(std::uint32_t count) {
  const SystemTexts& t = Texts();
  return t.finishedLead + Decimal(count) + t.finishedTail;
}

}  // namespace velmora
