#include "engine/SystemTexts.h"

#include <charconv>
#include <iterator>
#include <variant>

namespace velmora {

namespace {

// Where a text goes: a member of SystemTexts, or the error box text of one file error cause.
using TextSlot = std::variant<std::string SystemTexts::*, platform::FileErrorCause>;

struct SystemText {
  TextSlot slot;
  const char* utf8;
};

using C = platform::FileErrorCause;

// Every text of the program, once, in UTF-8.
constexpr SystemText kSystemTexts[] = {
    // Run log and status line.
    {&SystemTexts::rule, "----"},
    {&SystemTexts::inputLabel, "入力ファイル名："},
    {&SystemTexts::templateLabel, "雛型ファイル名："},
    {&SystemTexts::outputLabel, "出力フォルダ名："},
    {&SystemTexts::separatorComma, "セパレータ：カンマ (csv)"},
    {&SystemTexts::separatorTab, "セパレータ：タブ (tsv)"},
    {&SystemTexts::processingLead, " 処理中："},
    {&SystemTexts::processingTail, "件"},
    {&SystemTexts::finishedLead, " 処理を終了しました。（"},
    {&SystemTexts::finishedTail, "件）"},
    {&SystemTexts::inputOpenFailed, " 入力ファイルがオープン出来ません。"},
    {&SystemTexts::templateOpenFailed, " 雛型ファイルがオープン出来ません。"},
    {&SystemTexts::templateReadFailed, " 雛型ファイルの読み込みに失敗しました。"},
    {&SystemTexts::outputOpenFailedLead, " "},
    {&SystemTexts::outputOpenFailedTail, "ファイルがオープン出来ません。"},
    // Error boxes of commands.
    {&SystemTexts::outOfMemory, "ﾒﾓﾘが不足しています。"},
    {&SystemTexts::internalError, "ｱﾌﾟﾘｹｰｼｮﾝの内部ｴﾗｰです。"},
    {C::Generic, "%1 へのｱｸｾｽ中にｴﾗｰが発生しました。"},
    {C::FileNotFound, "%1 が見つかりません。"},
    {C::BadPath, "%1 のﾊﾟｽが正しくありません。"},
    {C::TooManyOpenFiles, "%1 を開けません。開いているﾌｧｲﾙが多すぎます。"},
    {C::AccessDenied, "%1 へのｱｸｾｽが拒否されました。"},
    {C::InvalidFile, "%1 へのｱｸｾｽ中に無効なﾌｧｲﾙ ﾊﾝﾄﾞﾙが使われました。"},
    {C::DirectoryFull, "%1 を作成できません。ﾃﾞｨﾚｸﾄﾘがいっぱいです。"},
    {C::BadSeek, "%1 のﾌｧｲﾙ ﾎﾟｲﾝﾀの設定中にｴﾗｰが発生しました。"},
    {C::HardIO, "%1 へのｱｸｾｽ中にﾊｰﾄﾞｳｪｱ I/O ｴﾗｰが発生しました。"},
    {C::SharingViolation, "%1 へのｱｸｾｽ中に共有違反が発生しました。"},
    {C::LockViolation, "%1 へのｱｸｾｽ中にﾛｯｸ違反が発生しました。"},
    {C::DiskFull, "%1 へのｱｸｾｽ中にﾃﾞｨｽｸがいっぱいになりました。"},
    {C::EndOfFile, "%1 へのｱｸｾｽ中にﾌｧｲﾙの終わりを越えて読み書きしようとしました。"},
    // Check messages of the main window.
    {&SystemTexts::textTooLong, "%1 文字以内で入力してください。"},
    {&SystemTexts::notANumber, "正の整数を入力してください。"},
    {&SystemTexts::numberOutOfRange, "%1 から %2 までの整数を入力してください。"},
    {&SystemTexts::readmeOpenFailed, "'%1' を開くことができません。(Error:%2)"},
};

constexpr bool EverySlotOnce() {
  for (std::size_t i = 0; i < std::size(kSystemTexts); ++i) {
    for (std::size_t j = i + 1; j < std::size(kSystemTexts); ++j) {
      if (kSystemTexts[i].slot == kSystemTexts[j].slot) return false;
    }
  }
  return true;
}

// A text without its row would be left empty: every text of SystemTexts has exactly one.
static_assert(std::size(kSystemTexts) == sizeof(SystemTexts) / sizeof(std::string),
              "every text of SystemTexts needs its row in kSystemTexts");
static_assert(EverySlotOnce(), "a text of SystemTexts has two rows in kSystemTexts");

std::string& Slot(SystemTexts& texts, const TextSlot& slot) {
  if (const auto* member = std::get_if<std::string SystemTexts::*>(&slot)) return texts.**member;
  return texts.fileErrors[static_cast<int>(std::get<platform::FileErrorCause>(slot))];
}

// Every text converted into the code page; UTF-8 (65001) keeps them as they are.
SystemTexts TextsIn(unsigned codePage) {
  SystemTexts texts;
  for (const SystemText& text : kSystemTexts) {
    Slot(texts, text.slot) = platform::Utf8ToCodePage(codePage, text.utf8);
  }
  return texts;
}

SystemTexts& Current() {
  static SystemTexts texts = TextsIn(65001);  // UTF-8 until InitSystemTexts runs
  return texts;
}

std::string Decimal(std::uint64_t value) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  return std::string(digits, end);
}

}  // namespace

void InitSystemTexts(unsigned codePage) { Current() = TextsIn(codePage); }

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
