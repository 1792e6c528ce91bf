#include "driver/dialogue.h"

namespace {

constexpr std::string_view kHelpScreen =
    "\nHow to use\n"
    "  /n    リプレイ名\n"
    "  /1    1Pキャラ(英語)\n"
    "  /2    2Pキャラ(英語)\n"
    "  /j    1Pキャラ(日本語)\n"
    "  /J    2Pキャラ(日本語)\n"
    "  /s    ステージ\n"
    "  /3    1P壱符\n"
    "  /4    1P弐符\n"
    "  /5    2P壱符\n"
    "  /6    2P弐符\n"
    "  /0    連番\n"
    "  /d    対戦日時mmdd\n"
    "Example. off02-/n                ===> off02-[Replayname].rep\n"
    "         05/d_/1vs/2             ===> 051231_KovvsDru.rep\n"
    "         00/0/1(/3,/4)-/2(/5,/6) ===> 00000Kov(Qorn,Fyth)-Dru(Zadu,Wixo).rep\n"
    "何も入力しないでEnterで [リプレイ名].rep となります\n";

}  // namespace

std::optional<std::string> directoryOf(std::string_view firstPath, PathStyle style) {
  std::size_t pos = lastSeparator(firstPath, style);
  // A separator at the very start does not count: "\a.rep" offers no directory.
  if (pos == std::string_view::npos || pos == 0) return std::nullopt;
  return std::string(firstPath.substr(0, pos + 1));
}

std::optional<std::string> askDestination(std::string_view firstPath, Console& console,
                                          PathStyle style, const SettleAnswer& settle) {
  std::optional<std::string> destination = directoryOf(firstPath, style);
  std::string answer;
  if (destination) {
    console.write("保存先を入力してください(空で最初のファイルと同じディレクトリ)\n===>");
    if (!console.readLine(&answer)) return std::nullopt;
    if (!answer.empty()) destination = settle ? settle(answer) : answer;
  } else {
    console.write("保存先を入力してください(空でキャンセル)\n===>");
    if (!console.readLine(&answer) || answer.empty()) return std::nullopt;
    destination = settle ? settle(answer) : answer;
  }
  if (!endsWithSeparator(*destination, style)) destination->push_back(separatorOf(style));
  return destination;
}

std::optional<std::string> askFormat(Console& console) {
  std::string answer;
  for (;;) {
    console.write("===>");
    if (!console.readLine(&answer)) return std::nullopt;
    if (answer.empty()) return std::string("/n");
    if (answer[0] != '?') return answer;
    console.write(kHelpScreen);
  }
}
