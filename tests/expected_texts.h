#pragma once

// What the renamer shows, byte for byte, as the tests expect it, in UTF-8 with LF; the Wine
// tests turn it into what the exe shows redirected: the console's code page, CR LF.
#include <string>

namespace expected {

inline const std::string kPause = " -- Press any key to exit --\n";
// The whole run without a replay.
inline const std::string kNoReplays = ".rep ファイルをexeにドロップしてください\n" + kPause;
inline const std::string kOfferPrompt =
    "保存先を入力してください(空で最初のファイルと同じディレクトリ)\n===>";
inline const std::string kCancelPrompt = "保存先を入力してください(空でキャンセル)\n===>";
inline const std::string kFormatPrompt =
    "ファイル名のフォーマットを入力してください (?でヘルプを表示)\n===>";
inline const std::string kAbnormal =
    "Kestrune1.11のリプレイファイルでないかまたは異常なファイルです\n";
inline const std::string kOpenError = " -- File open error!!\n";
inline const std::string kHelpScreen =
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

// The dialogue up to the first replay, with `destination` offered and taken.
inline std::string dialogue(const std::string& destination) {
  return kOfferPrompt + "出力ディレクトリ " + destination + "\n" + kFormatPrompt;
}

// One replay's lines: its path, then after the arrow its new path and the outcome.
inline std::string renamed(const std::string& from, const std::string& to) {
  return from + "\n    ===>" + to + " -- Rename successful!\n";
}
inline std::string numbered(const std::string& from, const std::string& to) {
  return from + "\n    ===>" + to + " -- Rename successful!(Warning: file already exists)\n";
}
// A failed move on standard output; `between` is what shows of the error stream there, if
// anything (moveError() when both streams go to one place).
inline std::string failed(const std::string& from, const std::string& to,
                          const std::string& between = "") {
  return from + "\n    ===>" + to + between + "\n";
}
inline std::string moveError(const std::string& text) { return " -- Error: " + text + "\n"; }
// A replay that stops the run, with the stop's message and the pause.
inline std::string stopped(const std::string& from, const std::string& message) {
  return from + "\n    ===>" + message + kPause;
}

// The summary line and the pause.
inline std::string summary(int files, int errors, int warnings) {
  return std::to_string(files) + " File(s) " + std::to_string(errors) + " Error(s) " +
         std::to_string(warnings) + " Warning(s) \n" + kPause;
}

// How often `part` occurs in `text`, overlaps included.
inline int countOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t pos = text.find(part); pos != std::string::npos;
       pos = text.find(part, pos + 1)) {
    ++count;
  }
  return count;
}

}  // namespace expected
