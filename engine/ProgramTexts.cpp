#include "engine/ProgramTexts.h"

#include <charconv>
#include <iterator>
#include <variant>

namespace velmora {

namespace {

// Where a text goes: a member of ProgramTexts, or the error box text of one file error cause.
using TextSlot = std::variant<std::string ProgramTexts::*, platform::FileErrorCause>;

struct ProgramText {
  TextSlot slot;
  const char* utf8;
};

using C = platform::FileErrorCause;

// Every text of the program, once, in UTF-8.
constexpr ProgramText kProgramTexts[] = {
    // Run log and status line.
    {&ProgramTexts::rule, "----"},
    {&ProgramTexts::inputLabel, "入力ファイル名："},
    {&ProgramTexts::templateLabel, "雛型ファイル名："},
    {&ProgramTexts::outputLabel, "出力フォルダ名："},
    {&ProgramTexts::separatorComma, "セパレータ：カンマ (csv)"},
    {&ProgramTexts::separatorTab, "セパレータ：タブ (tsv)"},
    {&ProgramTexts::processingLead, " 処理中："},
    {&ProgramTexts::processingTail, "件"},
    {&ProgramTexts::finishedLead, " 処理を終了しました。（"},
    {&ProgramTexts::finishedTail, "件）"},
    {&ProgramTexts::inputOpenFailed, " 入力ファイルがオープン出来ません。"},
    {&ProgramTexts::templateOpenFailed, " 雛型ファイルがオープン出来ません。"},
    {&ProgramTexts::templateReadFailed, " 雛型ファイルの読み込みに失敗しました。"},
    {&ProgramTexts::outputOpenFailedLead, " "},
    {&ProgramTexts::outputOpenFailedTail, "ファイルがオープン出来ません。"},
    // Error boxes of commands.
    {&ProgramTexts::outOfMemory, "ﾒﾓﾘが不足しています。"},
    {&ProgramTexts::internalError, "ｱﾌﾟﾘｹｰｼｮﾝの内部ｴﾗｰです。"},
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
    {&ProgramTexts::textTooLong, "%1 文字以内で入力してください。"},
    {&ProgramTexts::notANumber, "正の整数を入力してください。"},
    {&ProgramTexts::numberOutOfRange, "%1 から %2 までの整数を入力してください。"},
    {&ProgramTexts::readmeOpenFailed, "'%1' を開くことができません。(Error:%2)"},
};

constexpr bool EverySlotOnce() {
  for (std::size_t i = 0; i < std::size(kProgramTexts); ++i) {
    for (std::size_t j = i + 1; j < std::size(kProgramTexts); ++j) {
      if (kProgramTexts[i].slot == kProgramTexts[j].slot) return false;
    }
  }
  return true;
}

// A text without its row would be left empty: every text of ProgramTexts has exactly one.
static_assert(std::size(kProgramTexts) == sizeof(ProgramTexts) / sizeof(std::string),
              "every text of ProgramTexts needs its row in kProgramTexts");
static_assert(EverySlotOnce(), "a text of ProgramTexts has two rows in kProgramTexts");

std::string& Slot(ProgramTexts& texts, const TextSlot& slot) {
  if (const auto* member = std::get_if<std::string ProgramTexts::*>(&slot)) return texts.**member;
  return texts.fileErrors[static_cast<int>(std::get<platform::FileErrorCause>(slot))];
}

// Every text converted into the code page; UTF-8 (65001) keeps them as they are.
ProgramTexts TextsIn(unsigned codePage) {
  ProgramTexts texts;
  for (const ProgramText& text : kProgramTexts) {
    Slot(texts, text.slot) = platform::Utf8ToCodePage(codePage, text.utf8);
  }
  return texts;
}

ProgramTexts& Current() {
  static ProgramTexts texts = TextsIn(65001);  // UTF-8 until InitProgramTexts runs
  return texts;
}

std::string Decimal(std::uint64_t value) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  return std::string(digits, end);
}

}  // namespace

void InitProgramTexts(unsigned codePage) { Current() = TextsIn(codePage); }

const ProgramTexts& Texts() { return Current(); }

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
  const ProgramTexts& t = Texts();
  return t.processingLead + Decimal(recordNumber) + t.processingTail;
}

std::string FinishedText(std::uint32_t count) {
  const ProgramTexts& t = Texts();
  return t.finishedLead + Decimal(count) + t.finishedTail;
}

}  // namespace velmora
