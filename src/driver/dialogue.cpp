#include "driver/dialogue.h"

#include "naming/tokens.h"

namespace {

constexpr std::string_view kHelpExamples =
    "Example. off02-/n                ===> off02-[Replayname].rep\n"
    "         05/d_/1vs/2             ===> 051231_KovvsDru.rep\n"
    "         00/0/1(/3,/4)-/2(/5,/6) ===> 00000Kov(Qorn,Fyth)-Dru(Zadu,Wixo).rep\n"
    "何も入力しないでEnterで [リプレイ名].rep となります\n";

// The help screen: its heading, a line per token, the examples.
std::string helpScreen() {
  return "\nHow to use\n" + helpScreenTokenLines() + std::string(kHelpExamples);
}

}  // namespace

std::optional<std::string> directoryOf(std::string_view firstPath, PathStyle style) {
  // Only the separator the dialogue appends counts, '\\' on Windows, as the tool has always read
  // a dropped path: C:/replays/a.rep offers nothing.
  const std::size_t pos = firstPath.rfind(separatorOf(style));
  // A bare name typed in a Linux terminal names a file in the current folder; a dropped file's
  // path always has its folder, so on Windows a bare name offers none.
  if (pos == std::string_view::npos && style == PathStyle::kPosix && !firstPath.empty()) {
    return std::string("./");
  }
  // A separator at the very start does not count: "\a.rep" offers no directory.
  if (pos == std::string_view::npos || pos == 0) return std::nullopt;
  return std::string(firstPath.substr(0, pos + 1));
}

std::optional<std::string> askDestination(std::string_view firstPath, Console& console,
                                          PathStyle style, const AnswerToFolder& toFolder) {
  std::optional<std::string> destination = directoryOf(firstPath, style);
  std::string answer;
  if (destination) {
    console.write("保存先を入力してください(空で最初のファイルと同じディレクトリ)\n===>");
    if (!console.readLine(&answer)) return std::nullopt;
    if (!answer.empty()) destination = toFolder ? toFolder(answer) : answer;
  } else {
    console.write("保存先を入力してください(空でキャンセル)\n===>");
    if (!console.readLine(&answer) || answer.empty()) return std::nullopt;
    destination = toFolder ? toFolder(answer) : answer;
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
    console.write(helpScreen());
  }
}
